# SPDX-License-Identifier: GPL-3.0-or-later
# Every dependency names the Debian package that provides it, so a missing one
# stops the configure step with something the user can act on.

# At top level: Qt's macros (qt_add_resources) need the variables find_package sets.
find_package(Qt6 6.2 QUIET COMPONENTS Widgets Test)
if(NOT Qt6_FOUND OR NOT Qt6Widgets_FOUND OR NOT Qt6Test_FOUND)
  message(FATAL_ERROR "Qt 6 Widgets and Test not found: install the Debian package qt6-base-dev")
endif()

# lupdate and lrelease, run by the build for the interface's translations.
find_package(Qt6 QUIET COMPONENTS LinguistTools)
if(NOT Qt6LinguistTools_FOUND)
  message(FATAL_ERROR "Qt 6 Linguist tools not found: install the Debian packages qt6-tools-dev and qt6-l10n-tools")
endif()

# The answer history: Qt SQL with its SQLite driver, and the charts of the statistics window.
find_package(Qt6 6.2 QUIET COMPONENTS Sql)
if(NOT Qt6Sql_FOUND)
  message(FATAL_ERROR "Qt 6 SQL not found: install the Debian packages qt6-base-dev and libqt6sql6-sqlite")
endif()
find_package(Qt6 6.2 QUIET COMPONENTS Charts)
if(NOT Qt6Charts_FOUND)
  message(FATAL_ERROR "Qt 6 Charts not found: install the Debian packages qt6-charts-dev and libqt6opengl6-dev")
endif()
# The SQLite driver is a plugin, loaded only at run time: say now when it is missing.
if(NOT EXISTS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/sqldrivers/libqsqlite.so")
  message(FATAL_ERROR "The Qt SQLite driver was not found: install the Debian package libqt6sql6-sqlite")
endif()

find_package(PkgConfig QUIET)
if(NOT PkgConfig_FOUND)
  message(FATAL_ERROR "pkg-config not found: install the Debian package pkg-config")
endif()

macro(tonvero_require_pkg prefix module debian)
  pkg_check_modules(${prefix} QUIET IMPORTED_TARGET ${module})
  if(NOT ${prefix}_FOUND)
    message(FATAL_ERROR "${module} not found: install the Debian package ${debian}")
  endif()
endmacro()

tonvero_require_pkg(RTMIDI rtmidi librtmidi-dev)
tonvero_require_pkg(FLUIDSYNTH fluidsynth libfluidsynth-dev)
tonvero_require_pkg(ALSA alsa libasound2-dev)
tonvero_require_pkg(PULSE_SIMPLE libpulse-simple libpulse-dev)
tonvero_require_pkg(PULSE libpulse libpulse-dev)
# Pieces: compressed MusicXML is a ZIP container; standard MIDI files.
tonvero_require_pkg(LIBZIP libzip libzip-dev)
tonvero_require_pkg(SMF smf libsmf-dev)
# The name (soname) a library opened at run time is asked for by: libNAME.so.<major>.
function(tonvero_soname var name fallback debian)
  find_library(_lib NAMES ${name} HINTS ${ARGN} NO_CACHE)
  if(NOT _lib)
    message(FATAL_ERROR "lib${name} not found: install the Debian package ${debian}")
  endif()
  file(REAL_PATH ${_lib} _real)
  get_filename_component(_real ${_real} NAME)
  string(REGEX MATCH "^lib${name}\\.so\\.[0-9]+" _soname "${_real}")
  if(NOT _soname)
    set(_soname ${fallback})
  endif()
  set(${var} ${_soname} PARENT_SCOPE)
endfunction()

# aubio drags in codec libraries we never use; it is opened by name at first
# use instead of being linked, so only its headers and its soname are needed here.
tonvero_require_pkg(AUBIO aubio libaubio-dev)
tonvero_soname(TONVERO_AUBIO_SONAME aubio libaubio.so.5 libaubio-dev ${AUBIO_LIBRARY_DIRS})
# FluidSynth likewise, some forty libraries with it: opened on the synthesizer's
# worker when the first synthesizer is made.
# The sound server's client library, with its sound file codecs, is opened
# when the microphone is first looked for.
tonvero_soname(TONVERO_PULSE_SIMPLE_SONAME pulse-simple libpulse-simple.so.0 libpulse-dev ${PULSE_SIMPLE_LIBRARY_DIRS})
tonvero_soname(TONVERO_FLUIDSYNTH_SONAME fluidsynth libfluidsynth.so.3 libfluidsynth-dev ${FLUIDSYNTH_LIBRARY_DIRS})

if(TONVERO_BENCH AND NOT TONVERO_SANITIZE AND NOT TONVERO_TSAN)
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(FATAL_ERROR "Google Benchmark not found: install the Debian package libbenchmark-dev (or configure with -DTONVERO_BENCH=OFF)")
  endif()
endif()
