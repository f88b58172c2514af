# `cmake --install` into a scratch prefix puts in place exactly the programs, the
# menu entry and the icons, and the entry's Exec and Icon name installed files.
#   cmake -DBUILD_DIR=... -DPREFIX=<scratch dir> -P check-install.cmake
include(${CMAKE_CURRENT_LIST_DIR}/PngHeader.cmake)

set(expected
  bin/quelmar
  bin/quelmar-module-sim
  bin/quelmar-params
  share/applications/quelmar-setup.desktop
  share/metainfo/quelmar-setup.metainfo.xml
  share/doc/quelmar-setup/copyright
  share/doc/quelmar-setup/changelog.gz
  share/man/man1/quelmar.1.gz
  share/man/man1/quelmar-module-sim.1.gz
  share/man/man1/quelmar-params.1.gz
  share/icons/hicolor/scalable/apps/quelmar-setup.svg)
foreach(size IN LISTS QUELMAR_ICON_SIZES)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/quelmar-setup.png)
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
unset(ENV{DESTDIR})   # would send the files elsewhere
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  file(REMOVE_RECURSE "${PREFIX}")
  message(FATAL_ERROR "cmake --install failed (exit ${rc}):\n${out}")
endif()

set(errors "")

# Exactly the expected files: a missing one breaks the menu, an extra one (a static
# library, a test) bloats the package.
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" LIST_DIRECTORIES false "${PREFIX}/*")
set(missing ${expected})
if(installed)
  list(REMOVE_ITEM missing ${installed})
endif()
set(extra ${installed})
list(REMOVE_ITEM extra ${expected})
foreach(f IN LISTS missing)
  list(APPEND errors "not installed: ${f}")
endforeach()
foreach(f IN LISTS extra)
  list(APPEND errors "installed but not expected: ${f}")
endforeach()

foreach(size IN LISTS QUELMAR_ICON_SIZES)
  check_png_icon("${PREFIX}/share/icons/hicolor/${size}x${size}/apps/quelmar-setup.png" ${size} errors)
endforeach()

# The desktop finds the program and the icon by these two names.
set(entry "${PREFIX}/share/applications/quelmar-setup.desktop")
if(EXISTS "${entry}")
  file(STRINGS "${entry}" exec_line REGEX "^Exec=")
  file(STRINGS "${entry}" icon_line REGEX "^Icon=")
  string(REGEX REPLACE "^Exec=([^ ]*).*" "\\1" exec "${exec_line}")
  string(REGEX REPLACE "^Icon=" "" icon "${icon_line}")
  if(NOT exec OR NOT EXISTS "${PREFIX}/bin/${exec}")
    list(APPEND errors "Exec=${exec} names no installed program in bin/")
  endif()
  if(NOT icon OR NOT EXISTS "${PREFIX}/share/icons/hicolor/scalable/apps/${icon}.svg")
    list(APPEND errors "Icon=${icon} names no installed scalable icon")
  endif()
  foreach(size IN LISTS QUELMAR_ICON_SIZES)
    if(NOT EXISTS "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/${icon}.png")
      list(APPEND errors "Icon=${icon} has no installed ${size}x${size} PNG")
    endif()
  endforeach()
endif()

file(REMOVE_RECURSE "${PREFIX}")
if(errors)
  list(JOIN errors "\n" text)
  message(FATAL_ERROR "${text}")
endif()
