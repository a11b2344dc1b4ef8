// The code the README quotes is the code as it stands: every ```cpp block opens with a
// comment naming its file ("// tunnel/tables.cpp, AngleValue"), and its lines appear in
// that file in the same order (the file may have more lines between them). Indentation
// is not compared.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

std::string Trimmed(const std::string& line) {
  const std::size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? "" : line.substr(first);
}

std::vector<std::string> LinesOf(const std::string& path) {
  std::ifstream in(std::string(PROJECT_SOURCE) + "/" + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(Trimmed(line));
  return lines;
}

TEST(ReadmeExcerpts, AreTheCodeAsItStands) {
  const std::vector<std::string> readme = LinesOf("README.md");
  int excerpts = 0;
  for (std::size_t i = 0; i < readme.size(); ++i) {
    if (readme[i] != "```cpp") continue;
    ++excerpts;
    const std::string header = i + 1 < readme.size() ? readme[i + 1] : "";
    ASSERT_EQ(header.rfind("// ", 0), 0u) << "README.md:" << i + 2 << ": the excerpt does not name its file";
    const std::string path = header.substr(3, header.find(',') - 3);
    const std::vector<std::string> source = LinesOf(path);
    ASSERT_FALSE(source.empty()) << "README.md:" << i + 2 << ": no file " << path;
    std::size_t at = 0;
    for (std::size_t j = i + 2; j < readme.size() && readme[j] != "```"; ++j) {
      while (at < source.size() && source[at] != readme[j]) ++at;
      ASSERT_LT(at, source.size()) << "README.md:" << j + 1 << " is not in " << path
                                   << " (or not in this order): " << readme[j];
      ++at;
    }
  }
  EXPECT_GT(excerpts, 0) << "no ```cpp block found in README.md";
}

}  // namespace
