# SPDX-License-Identifier: Apache-2.0
# Checks that every source file of the project names its licence in an SPDX
# line within its first two lines (the second after a "#!" or "<?xml" line).
# Generated Java kept as expected output or as committed examples is
# vorlith's own output and carries no such line.
#
#   cmake -DSOURCE_DIR=<project folder> -P licence_lines.cmake

set(line "SPDX-License-Identifier: Apache-2.0")
set(files)
foreach(dir generator runtime samples tests bench scripts packaging examples)
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${dir}/*.java" "${SOURCE_DIR}/${dir}/*.cpp"
       "${SOURCE_DIR}/${dir}/*.h" "${SOURCE_DIR}/${dir}/*.c"
       "${SOURCE_DIR}/${dir}/*.sh" "${SOURCE_DIR}/${dir}/*.cmake"
       "${SOURCE_DIR}/${dir}/*.in" "${SOURCE_DIR}/${dir}/CMakeLists.txt")
  list(APPEND files ${found})
endforeach()
list(APPEND files CMakeLists.txt Makefile .ci/run)
list(FILTER files EXCLUDE REGEX "/expected/|^examples/[^/]+/java/|^tests/java/selftest/geo/")

set(missing)
foreach(f IN LISTS files)
  file(STRINGS "${SOURCE_DIR}/${f}" head LIMIT_COUNT 2)
  string(FIND "${head}" "${line}" at)
  if(at EQUAL -1)
    list(APPEND missing "${f}")
  endif()
endforeach()
list(LENGTH files checked)
if(missing)
  list(JOIN missing "\n  " text)
  message(FATAL_ERROR "no \"${line}\" in the first two lines of:\n  ${text}")
endif()
message(STATUS "${checked} files name their licence")
