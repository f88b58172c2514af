# The menu entry passes desktop-file-validate without a remark, and every
# icon source the package installs is there, at its size.
#   cmake -DDESKTOP_FILE=... -DICON_DIR=... -P check-desktop-entry.cmake
include(${CMAKE_CURRENT_LIST_DIR}/PngHeader.cmake)

find_program(VALIDATOR desktop-file-validate)
if(NOT VALIDATOR)
  message(FATAL_ERROR "desktop-file-validate is missing: install desktop-file-utils (scripts/install-deps)")
endif()

set(errors "")
execute_process(COMMAND ${VALIDATOR} ${DESKTOP_FILE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
# Hints count too: one of them is a missing main category, which hides the entry
# in a catch-all menu section.
if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
  # SEND_ERROR rather than the list below: the validator's text holds semicolons.
  message(SEND_ERROR "desktop-file-validate ${DESKTOP_FILE} (exit ${rc}):\n${out}")
endif()

if(NOT EXISTS "${ICON_DIR}/quelmar-setup.svg")
  list(APPEND errors "missing: ${ICON_DIR}/quelmar-setup.svg")
endif()
foreach(size IN LISTS QUELMAR_ICON_SIZES)
  check_png_icon("${ICON_DIR}/quelmar-setup-${size}.png" ${size} errors)
endforeach()

if(errors)
  list(JOIN errors "\n" text)
  message(FATAL_ERROR "${text}")
endif()
