# SPDX-License-Identifier: GPL-3.0-or-later
# A Debian package of what "cmake --install" puts in place, for Debian 12:
#   cpack --config build/CPackConfig.cmake -G DEB -B <dir>
# Its library dependencies are read from the program by dpkg-shlibdeps (Debian
# package dpkg-dev); what the program loads at run time on its own is named here.

set(TONVERO_PACKAGE_MAINTAINER "The Tonvero developers <tonvero@users.noreply.github.com>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME tonvero)
set(CPACK_PACKAGE_VENDOR "The Tonvero developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/tonvero/tonvero")
set(CPACK_PACKAGE_CONTACT "${TONVERO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "trainer for reading music notation")
# Lines as they stand in the package's long description.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tonvero writes one random note at a time on a music stave, from the note\n"
  "ranges you set, and you answer by playing it on an on-screen piano, a\n"
  "guitar or bass fretboard, the computer keyboard or a MIDI keyboard. It\n"
  "judges each answer, marks the note to play and the note played, counts\n"
  "notes and errors, runs a clock and sounds the notes through its built-in\n"
  "General MIDI synthesizer.\n"
  "\n"
  "Treble, bass and alto clefs and the grand staff; hint, training and timed\n"
  "exam modes; marks that colour-blind players can tell apart.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME tonvero)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TONVERO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at run time, so dpkg-shlibdeps cannot see them: a General MIDI
# soundfont for the built-in synthesizer (the larger sounds better, and costs
# no more memory), the sound server's client and the note detector of the
# microphone input, Qt's Wayland platform and its own translations. Without
# them the program still runs (silent, without the microphone, under XWayland,
# with Qt's own texts in English, the time signatures in another font).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fluid-soundfont-gm | timgm6mb-soundfont, libpulse0, libaubio5, qt6-wayland, qt6-translations-l10n, fonts-dejavu-core")
# FluidSynth is opened at run time too (it would slow every start), yet the
# built-in synthesizer is what makes the program sound out of the box.
string(REGEX REPLACE "^lib(.+)\\.so\\.([0-9]+)$" "lib\\1\\2" _fluidsynth_package "${TONVERO_FLUIDSYNTH_SONAME}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_fluidsynth_package}")
if(TARGET Qt6::Sql)
  # The answer history's SQLite driver is a Qt plugin.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6sql6-sqlite")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
