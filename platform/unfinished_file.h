// A file being written under a temporary name, to be put in another's place once
// complete. Should Ctrl+C, SIGTERM or SIGHUP end the program meanwhile, the file is
// removed first, so no half-written file is left beside the one it was to replace.
// SIGKILL cannot be caught: it leaves the file behind.
#pragma once

namespace platform {

// Creates the file `name` for writing, as open(O_WRONLY | O_CREAT | O_EXCL) does, and
// has the end signals remove it until it is forgotten. One file at a time.
// A descriptor, or -1 with errno set.
int CreateUnfinishedFile(const char* name);

// When `name` is the unfinished file: it was put in its place or is about to be
// deleted, and the end signals act as before again.
void ForgetUnfinishedFile(const char* name);

}  // namespace platform
