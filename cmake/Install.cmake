# SPDX-License-Identifier: GPL-3.0-or-later
# What the installed program needs beside itself, each in its XDG place: the
# read-me file, the desktop entry and the AppStream metainfo under the
# program's id, the icon at each size drawn in res/icons/tonvero-<size>.png,
# the manual pages, and the changelog and copyright notice Debian asks for.
include(GNUInstallDirs)

# Reverse-DNS id from the home page's address, github.com/tonvero/tonvero.
set(TONVERO_APP_ID io.github.tonvero.tonvero)

install(FILES ${PROJECT_SOURCE_DIR}/res/ReadMe.txt ${PROJECT_SOURCE_DIR}/res/ReadMe_en.txt
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

# Compressed as Debian wants man pages and changelogs (gzip -9n: no name or
# time stamp inside, so the same text gives the same bytes); installed plain
# where there is no gzip.
function(tonvero_install_gzipped source destination)
  find_program(TONVERO_GZIP gzip)
  if(NOT TONVERO_GZIP)
    install(FILES ${source} DESTINATION ${destination})
    return()
  endif()
  get_filename_component(name ${source} NAME)
  set(dir ${PROJECT_BINARY_DIR}/gzipped)
  add_custom_command(OUTPUT ${dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${dir}/${name}
    COMMAND ${TONVERO_GZIP} -9 -n -f ${dir}/${name}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER ${name} target)
  add_custom_target(tonvero_gzip_${target} ALL DEPENDS ${dir}/${name}.gz)
  install(FILES ${dir}/${name}.gz DESTINATION ${destination})
endfunction()

# A manual page for every program that is built, and the changelog. pitchcheck
# is optional and its target is defined after this file is read, so they are
# added once the whole project has been read.
function(tonvero_install_compressed)
  include(GNUInstallDirs) # read here in the top directory, where it may not have been
  tonvero_install_gzipped(${PROJECT_SOURCE_DIR}/res/man/tonvero.1 ${CMAKE_INSTALL_MANDIR}/man1)
  if(TARGET pitchcheck)
    tonvero_install_gzipped(${PROJECT_SOURCE_DIR}/res/man/pitchcheck.1 ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  if(TARGET piececheck)
    tonvero_install_gzipped(${PROJECT_SOURCE_DIR}/res/man/piececheck.1 ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  tonvero_install_gzipped(${PROJECT_SOURCE_DIR}/res/changelog ${CMAKE_INSTALL_DATADIR}/doc/tonvero)
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL tonvero_install_compressed)

# The tunes a newcomer can open at once (Файл → Пьесы для начала).
file(GLOB TONVERO_PIECES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/pieces/*.musicxml)
install(FILES ${TONVERO_PIECES} DESTINATION ${CMAKE_INSTALL_DATADIR}/tonvero/pieces)
