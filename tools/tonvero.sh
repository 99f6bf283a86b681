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
                libasound2-dev libpulse-dev libaubio-dev libbenchmark-dev timgm6mb-soundfont fonts-dejavu-core
                qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
                libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev libzip-dev libsmf-dev)
test_packages=(clang libclang-rt-14-dev fonts-freefont-ttf xauth xvfb fluid-soundfont-gm csound-soundfont appstream
               desktop-file-utils dpkg-dev man-db)

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

# Each step chained with &&: the stages run inside "if", where set -e does not act.
configure_and_build() { # dir, extra cmake args...
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
        cmake --build "$dir" -j "$jobs"
}

configure_and_build_targets() { # dir, targets (space separated), extra cmake args...
    local dir=$1 targets=$2; shift 2
    # shellcheck disable=SC2086
    cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null &&
        cmake --build "$dir" -j "$jobs" --target $targets
}

# A private runtime dir, config and data home, so no test touches the user's real settings or history.
headless_env() {
    local tmp
    tmp=$(mktemp -d /tmp/tonvero-test.XXXXXX)
    mkdir -p "$tmp/runtime" "$tmp/config" "$tmp/data"
    chmod 700 "$tmp/runtime"
    export XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" QT_QPA_PLATFORM=offscreen
}

# The stages of "test". A failing build stops the run, since every later stage
# builds the same code again; failing tests do not, so one run shows every
# failure. The table at the end says which stages passed, failed or never ran.
stage_names=()
stage_results=()
stopped_at=""

duration() { # seconds
    if [ "$1" -ge 60 ]; then echo "$(($1 / 60)) min $(($1 % 60)) s"; else echo "$1 s"; fi
}

stage() { # build|check, name, command...
    local kind=$1 name=$2; shift 2
    stage_names+=("$name")
    if [ -n "$stopped_at" ]; then
        stage_results+=("not run")
        return 0
    fi
    echo "tonvero: ---- $name"
    local start=$SECONDS
    if "$@"; then
        stage_results+=("passed ($(duration $((SECONDS - start))))")
        echo "tonvero: ---- $name: passed"
    else
        stage_results+=("FAILED ($(duration $((SECONDS - start))))")
        echo "tonvero: ---- $name: FAILED" >&2
        [ "$kind" = build ] && stopped_at=$name
    fi
    return 0
}

# Prints the table; fails when any stage failed or did not run.
stage_summary() {
    local i ok=1
    echo
    echo "tonvero: test stages"
    for i in "${!stage_names[@]}"; do
        printf '  %-46s %s\n' "${stage_names[$i]}" "${stage_results[$i]}"
        [[ ${stage_results[$i]} == passed* ]] || ok=0
    done
    if [ -n "$stopped_at" ]; then
        echo "tonvero: stopped after the failing stage \"$stopped_at\": the stages after it did not run"
    fi
    if [ $ok -eq 1 ]; then
        echo "tonvero: all ${#stage_names[@]} stages passed"
        return 0
    fi
    echo "tonvero: FAILED (see the stages above marked FAILED)" >&2
    return 1
}

tests_normal() {
    ctest --test-dir build --output-on-failure -j "$jobs"
}

build_tsan() {
    configure_and_build_targets build-tsan "tonvero_tests_midi tonvero_tests_platform_mmsystem tonvero_tests_platform_synth tst_midirouting tst_midihotplug tst_dialogoptions" \
        -DTONVERO_TSAN=ON -DTONVERO_BENCH=OFF
}

tests_tsan() {
    local tsan_supp="$here/tests/midi/tsan.supp"
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1${tsan_supp:+ suppressions=$tsan_supp}" \
        setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure \
        -R "^(midi/|platform/(mmsystem|synth)/|app/tst_midirouting|app/tst_midihotplug|dialogs/tst_dialogoptions)"
}

fuzzers=(regparser wavfile sf2file musicxml midifile)
fuzz_seconds=30

build_fuzz() {
    CC=clang CXX=clang++ configure_and_build_targets build-fuzz "${fuzzers[*]/#/fuzz_}" \
        -DTONVERO_FUZZ=ON -DTONVERO_BENCH=OFF -DBUILD_TESTING=OFF
}

# Each fuzzer in turn from its seeds, for a bounded time. The whole output goes
# to a log: a crash report is longer than the three lines shown.
run_fuzz() {
    local name log rc=0 one
    for name in "${fuzzers[@]}"; do
        log=build-fuzz/fuzz_$name.log
        one=0
        mkdir -p "build-fuzz/corpus-$name" || return
        build-fuzz/tests/fuzz/fuzz_$name -max_total_time=$fuzz_seconds -max_len=4096 -print_final_stats=0 \
            -dict="tests/fuzz/$name.dict" "build-fuzz/corpus-$name" "tests/fuzz/corpus/$name" >"$log" 2>&1 || one=$?
        if [ $one -eq 0 ]; then
            echo "tonvero: fuzz_$name: $(grep -m1 '^Done' "$log" || tail -n 1 "$log")"
        else
            tail -n 3 "$log"
            echo "tonvero: the fuzzer's whole output is in $log"
            rc=$one
        fi
    done
    return $rc
}

# -O1 and line tables only: the sanitizers' reports keep their file and line,
# and the build takes about a third less time than at -O2 with full debug data.
build_asan() {
    configure_and_build build-asan -DTONVERO_SANITIZE=ON -DTONVERO_BENCH=OFF \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
}

tests_asan() {
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir build-asan --output-on-failure -j "$jobs"
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
    stage build "build"                                        configure_and_build build
    stage check "tests (CTest)"                                tests_normal
    stage build "ThreadSanitizer build (MIDI tests)"           build_tsan
    stage check "MIDI tests under ThreadSanitizer"             tests_tsan
    stage build "fuzzer build (settings, WAV, soundfont, MusicXML, MIDI)" build_fuzz
    stage check "fuzzing settings, WAV, soundfont, MusicXML, MIDI, 30 s each" run_fuzz
    stage build "AddressSanitizer + UBSan build"               build_asan
    stage check "all tests under AddressSanitizer + UBSan"     tests_asan
    stage_summary
    ;;
*)
    echo "usage: tools/tonvero.sh run|test" >&2
    exit 2
    ;;
esac
