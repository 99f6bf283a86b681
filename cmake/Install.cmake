# SPDX-License-Identifier: GPL-3.0-or-later
# Data the installed program needs beside itself: the read-me file, the desktop
# entry and the icon at each size drawn in res/icons/tonvero-<size>.png.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/res/ReadMe.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tonvero)
install(FILES ${PROJECT_SOURCE_DIR}/res/tonvero.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

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
