# Configures a tree as tools/run does on a machine without the tests' packages, then the
# same tree as tools/test does: the first has the main program and no tests or
# benchmarks, the second has the tests. Run with cmake -P, given SOURCE, TREE, GENERATOR
# and COMPILER.
file(REMOVE_RECURSE "${TREE}")

function(configure)
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${TREE}" -G "${GENERATOR}"
                          "-DCMAKE_CXX_COMPILER=${COMPILER}" -DCMAKE_BUILD_TYPE=Release ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring with ${ARGN} failed:\n${output}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${TREE}" --target help OUTPUT_VARIABLE targets)
  set(targets "${targets}" PARENT_SCOPE)
endfunction()

function(expect targets pattern wanted)
  string(REGEX MATCH "${pattern}" found "${targets}")
  if(wanted AND NOT found)
    message(FATAL_ERROR "no target ${pattern} in:\n${targets}")
  elseif(NOT wanted AND found)
    message(FATAL_ERROR "target ${found} although its packages are missing")
  endif()
endfunction()

configure(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
expect("${targets}" "tunnel_animated:" TRUE)
expect("${targets}" "(tunnel_tests|tunnel_bench|program_pictures):" FALSE)

configure(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=OFF -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=OFF -DTUNNEL_TESTS=ON)
expect("${targets}" "tunnel_tests:" TRUE)
expect("${targets}" "tunnel_bench:" TRUE)

file(REMOVE_RECURSE "${TREE}")
