#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# One entry point for newcomers and CI:
#   tools/tonvero.sh run    install what is missing, build, start the trainer
#   tools/tonvero.sh test   install what is missing, build, run every test headless
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"

jobs=$(nproc 2>/dev/null || echo 2)

build_packages=(g++ cmake ninja-build pkg-config qt6-base-dev librtmidi-dev libfluidsynth-dev
                libasound2-dev libbenchmark-dev timgm6mb-soundfont fonts-dejavu-core)
test_packages=(clang libclang-rt-14-dev fonts-freefont-ttf xauth xvfb fluid-soundfont-gm)

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "tonvero: installing Debian packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "tonvero: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

configure_and_build_targets() { # dir, targets (space separated), extra cmake args...
    local dir=$1 targets=$2; shift 2
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    # shellcheck disable=SC2086
    cmake --build "$dir" -j "$jobs" --target $targets
}

# A private runtime dir and config home, so no test touches the user's real settings.
headless_env() {
    local tmp
    tmp=$(mktemp -d /tmp/tonvero-test.XXXXXX)
    mkdir -p "$tmp/runtime" "$tmp/config"
    chmod 700 "$tmp/runtime"
    export XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config" QT_QPA_PLATFORM=offscreen
}

case "${1:-}" in
run)
    install_missing "${build_packages[@]}"
    configure_and_build build
    exec "$here/build/src/tonvero"
    ;;
test)
    install_missing "${build_packages[@]}" "${test_packages[@]}"
    headless_env
    configure_and_build build
    ctest --test-dir build --output-on-failure -j "$jobs"

    echo "tonvero: MIDI tests and MIDI routing again under ThreadSanitizer"
    configure_and_build_targets build-tsan "tonvero_tests_midi tst_midirouting tst_dialogoptions" -DTONVERO_TSAN=ON -DTONVERO_BENCH=OFF
    tsan_supp="$here/tests/midi/tsan.supp"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1${tsan_supp:+ suppressions=$tsan_supp}" \
        setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure \
        -R "^(midi/|app/tst_midirouting|dialogs/tst_dialogoptions)"

    echo "tonvero: fuzzing the settings file parser for 60 s"
    CC=clang CXX=clang++ configure_and_build_targets build-fuzz fuzz_regparser \
        -DTONVERO_FUZZ=ON -DTONVERO_BENCH=OFF -DBUILD_TESTING=OFF
    mkdir -p build-fuzz/corpus-regparser
    build-fuzz/tests/fuzz/fuzz_regparser -max_total_time=60 -max_len=4096 -print_final_stats=0 \
        -dict=tests/fuzz/regparser.dict build-fuzz/corpus-regparser tests/fuzz/corpus/regparser 2>&1 | tail -n 3

    echo "tonvero: everything again with AddressSanitizer + UndefinedBehaviorSanitizer"
    configure_and_build build-asan -DTONVERO_SANITIZE=ON -DTONVERO_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
    ;;
*)
    echo "usage: tools/tonvero.sh run|test" >&2
    exit 2
    ;;
esac
