# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the picture tool into WORK_DIR and compares every file it writes, byte
# for byte, with the committed copy under SOURCE_DIR.
#   cmake -DTOOL=<tonvero_pictures> -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -P reproducible.cmake
foreach(var TOOL SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "reproducible.cmake: ${var} not set")
  endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(
  COMMAND "${TOOL}" "${WORK_DIR}/pictures" --icons "${WORK_DIR}/icons" --contact-sheet "${WORK_DIR}/pictures.png"
  RESULT_VARIABLE rc
  ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "tonvero_pictures failed (${rc}): ${err}")
endif()

set(pairs)
file(GLOB made RELATIVE "${WORK_DIR}/pictures" "${WORK_DIR}/pictures/*.png")
foreach(f IN LISTS made)
  list(APPEND pairs "pictures/${f}|res/pictures/${f}")
endforeach()
file(GLOB made RELATIVE "${WORK_DIR}/icons" "${WORK_DIR}/icons/*.png")
foreach(f IN LISTS made)
  list(APPEND pairs "icons/${f}|res/icons/${f}")
endforeach()
list(APPEND pairs "pictures.png|docs/pictures.png")

list(LENGTH pairs count)
if(count LESS 40)
  message(FATAL_ERROR "tonvero_pictures wrote only ${count} files")
endif()

set(differ)
foreach(pair IN LISTS pairs)
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 made)
  list(GET pair 1 committed)
  if(NOT EXISTS "${SOURCE_DIR}/${committed}")
    list(APPEND differ "${committed} (not committed)")
    continue()
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK_DIR}/${made}" "${SOURCE_DIR}/${committed}"
                  RESULT_VARIABLE same)
  if(NOT same EQUAL 0)
    list(APPEND differ "${committed}")
  endif()
endforeach()

if(differ)
  list(JOIN differ "\n  " text)
  message(FATAL_ERROR "pictures differ from the committed ones (remake them with tonvero_pictures):\n  ${text}")
endif()
message(STATUS "${count} pictures identical to the committed ones")
