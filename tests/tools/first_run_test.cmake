# The first run on a machine of the project's own kind, where GoogleTest and Google
# Benchmark come installed and stb does not: a tree configured as tools/run does it has
# the main program, no tests, benchmarks or picture tool, and warnings that stay
# warnings. The same tree configured again as tools/test does it, with every package
# there, has the tests and the benchmarks and makes warnings errors. The targets and
# their flags are read through CMake's file API, the same under every generator.
# Run with cmake -P, given SOURCE, TREE, GENERATOR and COMPILER.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
file(REMOVE_RECURSE "${TREE}")

# pkg-config as on a machine without stb: it knows every other package.
set(without_stb "${TREE}-pkg-config")
file(WRITE "${without_stb}" "#!/bin/sh\ncase \" $* \" in *\" stb \"*) exit 1;; esac\nexec pkg-config \"$@\"\n")
file(CHMOD "${without_stb}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# Configures the tree, and sets `targets` to the names of its targets and `tunnel_target`
# to the description of the tunnel library, its compile flags among them.
function(configure)
  file(WRITE "${TREE}/.cmake/api/v1/query/codemodel-v2" "")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE}" -B "${TREE}" -G "${GENERATOR}"
                          "-DCMAKE_CXX_COMPILER=${COMPILER}" -DCMAKE_BUILD_TYPE=Release ${ARGN}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring with ${ARGN} failed:\n${output}")
  endif()
  file(GLOB index "${TREE}/.cmake/api/v1/reply/index-*.json")
  file(READ "${index}" text)
  string(JSON model_file GET "${text}" reply codemodel-v2 jsonFile)
  file(READ "${TREE}/.cmake/api/v1/reply/${model_file}" model)
  string(JSON count LENGTH "${model}" configurations 0 targets)
  set(names "")
  set(flags "")
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON name GET "${model}" configurations 0 targets ${i} name)
    list(APPEND names "${name}")
    if(name STREQUAL "tunnel")
      string(JSON target_file GET "${model}" configurations 0 targets ${i} jsonFile)
      file(READ "${TREE}/.cmake/api/v1/reply/${target_file}" flags)
    endif()
  endforeach()
  file(REMOVE_RECURSE "${TREE}/.cmake/api/v1/reply")
  set(targets "${names}" PARENT_SCOPE)
  set(tunnel_target "${flags}" PARENT_SCOPE)
endfunction()

function(expect_targets wanted)
  foreach(name IN LISTS ARGN)
    if(wanted AND NOT name IN_LIST targets)
      message(FATAL_ERROR "no target ${name} among: ${targets}")
    elseif(NOT wanted AND name IN_LIST targets)
      message(FATAL_ERROR "target ${name} although it was not asked for")
    endif()
  endforeach()
endfunction()

function(expect_warnings_as_errors wanted)
  string(FIND "${tunnel_target}" "-Werror" at)
  if(wanted AND at EQUAL -1)
    message(FATAL_ERROR "warnings are not errors in the test tree: ${tunnel_target}")
  elseif(NOT wanted AND NOT at EQUAL -1)
    message(FATAL_ERROR "warnings are errors in the tree a learner builds: ${tunnel_target}")
  endif()
endfunction()

configure("-DPKG_CONFIG_EXECUTABLE=${without_stb}" -DTUNNEL_WARNINGS_AS_ERRORS=OFF)
expect_targets(TRUE tunnel_animated tunnel_tables)
expect_targets(FALSE tunnel_tests tunnel_bench program_pictures)
expect_warnings_as_errors(FALSE)

configure(-DPKG_CONFIG_EXECUTABLE=pkg-config -DTUNNEL_TESTS=ON -DTUNNEL_WARNINGS_AS_ERRORS=ON)
expect_targets(TRUE tunnel_tests tunnel_bench program_pictures)
expect_warnings_as_errors(TRUE)

file(REMOVE_RECURSE "${TREE}" "${without_stb}")
