# SPDX-License-Identifier: GPL-3.0-or-later
# What the installed program needs beside itself, each in its XDG place: the
# read-me file, the desktop entry and the AppStream metainfo under the
# program's id, the icon at each size drawn in res/icons/tonvero-<size>.png,
# the manual pages (compressed as Debian wants them) and the copyright notice.
include(GNUInstallDirs)

# Reverse-DNS id from the home page's address, github.com/tonvero/tonvero.
set(TONVERO_APP_ID io.github.tonvero.tonvero)

install(FILES ${PROJECT_SOURCE_DIR}/res/ReadMe.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tonvero)
install(FILES ${PROJECT_SOURCE_DIR}/res/tonvero.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
        RENAME ${TONVERO_APP_ID}.desktop)
install(FILES ${PROJECT_SOURCE_DIR}/res/tonvero.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME ${TONVERO_APP_ID}.metainfo.xml)
# Named after the package, as Debian looks for it.
install(FILES ${PROJECT_SOURCE_DIR}/res/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tonvero)

file(GLOB TONVERO_ICONS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/icons/tonvero-*.png)
foreach(icon IN LISTS TONVERO_ICONS)
  get_filename_component(icon_name ${icon} NAME_WE)
  string(REGEX REPLACE "^tonvero-([0-9]+)$" "\\1" icon_size ${icon_name})
  if(icon_size MATCHES "^[0-9]+$")
    install(FILES ${icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${icon_size}x${icon_size}/apps
            RENAME tonvero.png)
  endif()
endforeach()

# A manual page for every program that is built: pitchcheck is optional, and
# its target is defined after this file is read, so the pages are added once
# the whole project has been read.
function(tonvero_install_man_pages)
  include(GNUInstallDirs) # read here in the top directory, where it may not have been
  set(pages tonvero)
  if(TARGET pitchcheck)
    list(APPEND pages pitchcheck)
  endif()
  find_program(TONVERO_GZIP gzip)
  set(outputs)
  foreach(page IN LISTS pages)
    set(source ${PROJECT_SOURCE_DIR}/res/man/${page}.1)
    if(TONVERO_GZIP)
      # -n: no name or time stamp inside, so the same page gives the same bytes.
      set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
      add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${PROJECT_BINARY_DIR}/man/${page}.1
        COMMAND ${TONVERO_GZIP} -9 -n -f ${PROJECT_BINARY_DIR}/man/${page}.1
        DEPENDS ${source}
        COMMENT "Compressing the manual page ${page}.1"
        VERBATIM)
      list(APPEND outputs ${output})
    else()
      set(output ${source})
    endif()
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  if(outputs)
    add_custom_target(tonvero_man_pages ALL DEPENDS ${outputs})
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tonvero_install_man_pages)
