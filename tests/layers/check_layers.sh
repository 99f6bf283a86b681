#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Each folder of src/ includes only headers of folders below it, and only
# src/platform includes the system's MIDI, synthesizer, audio and pitch libraries.
# Usage: check_layers.sh SOURCE_DIR
set -u
src=${1:?source dir}/src

# Higher numbers stand higher; folders of one rank do not use each other.
declare -A rank=(
    [platform]=0
    [music]=1
    [notation]=2
    [controls]=3
    [settings]=4
    [midi]=5
    [history]=6 [pitch]=6 [piece]=6
    [exercise]=7
    [dialogs]=8
    [app]=9
)

fail=0
while IFS= read -r -d '' file; do
    rel=${file#"$src"/}
    from=${rel%%/*}
    [ "$rel" = main.cpp ] && continue
    if [ -z "${rank[$from]+x}" ]; then
        echo "$rel: folder src/$from has no place in the layers (add it here and to the README)"
        fail=1
        continue
    fi
    while IFS= read -r line; do
        [[ $line =~ ^[0-9]+:#include\ \"([^/\"]+)/ ]] || continue
        to=${BASH_REMATCH[1]}
        [ "$to" = "$from" ] && continue
        if [ -z "${rank[$to]+x}" ]; then
            continue # a header beside the file, or not one of ours
        fi
        if [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
            echo "$rel:${line%%:*}: src/$from may not include src/$to (layers run downward)"
            fail=1
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$file" | sed -E 's/^([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]+/\1:#include /')
    if [ "$from" != platform ]; then
        while IFS= read -r line; do
            echo "$rel:${line%%:*}: only src/platform includes ${line#*:}"
            fail=1
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(RtMidi|rtmidi/|fluidsynth|alsa/|pulse/|aubio/)' "$file")
    fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)

# The MIDI services meet the synthesizer through the backend interface only.
if [ -d "$src/platform/mmsystem" ] && grep -rnE '#include "platform/synth/' "$src/platform/mmsystem" >/dev/null; then
    grep -rnE '#include "platform/synth/' "$src/platform/mmsystem" | sed 's/^/mmsystem includes the synthesizer: /'
    fail=1
fi

[ $fail -eq 0 ] && echo "layers: every include runs downward"
exit $fail
