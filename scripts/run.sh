#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Velmora and starts it on its stand-ins: the
# stand-in speech engine and language-model server built beside it, small stand-in model files
# served by a stand-in model hub on loopback, and a sound file played as the microphone. Every
# road (model download, dictation, each text tool) can so be tried without real models.
# Arguments are passed to Velmora; each one below replaces its stand-in:
#   -modelHubURL URL -modelManifests real   the real model hub and the real model files
#   -llmServerPath PATH                     a compatible language-model server
#   -speechHelperPath PATH                  a compatible speech engine
#   -microphoneFile FILE                    another sound file as the microphone
#   -microphoneFile ""                      the computer's real microphone
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/as-root.sh
bash scripts/setup.sh --check || as_root bash scripts/setup.sh

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF \
  -DVELMORA_BUILD_BENCHMARKS=OFF
# One compile job per core, but no more than memory allows (a compile of this code base can take
# about 1.5 GiB); VELMORA_BUILD_JOBS sets the number.
jobs=${VELMORA_BUILD_JOBS:-}
if [ -z "$jobs" ]; then
  cores=$(nproc)
  by_memory=$(awk '/^MemAvailable:/ { print int($2 / 1572864) }' /proc/meminfo)
  jobs=$(( by_memory < cores ? by_memory : cores ))
  [ "$jobs" -ge 1 ] || jobs=1
fi
cmake --build "$build" -j "$jobs"

helpers="$build/helpers"
state="$build/stand-ins"
mkdir -p "$state"

given() { # whether the user passed the launch setting $1
  local key=$1; shift
  for a in "$@"; do [ "$a" = "-$key" ] && return 0; done
  return 1
}

settings=()
if ! given modelHubURL "$@" && ! given modelManifests "$@"; then
  rm -f "$state/hub.url"
  # 16 MiB/s: the stand-in download takes a few seconds, so its progress can be seen.
  "$helpers/velmora-model-hub" --url-file "$state/hub.url" --rate-mib 16 >/dev/null &
  hub=$!
  trap 'kill "$hub" 2>/dev/null || true' EXIT
  for _ in $(seq 100); do [ -s "$state/hub.url" ] && break; sleep 0.1; done
  settings+=(-modelManifests standIn -modelHubURL "$(cat "$state/hub.url")")
fi
if ! given microphoneFile "$@"; then
  # Ten short tones with pauses. The stand-in speech engine writes a word for every run of
  # samples at or above its threshold: a tone's wave dips under it now and then, so each tone
  # comes out as some 75 words such as "w46".
  sample="$state/microphone.wav"
  [ -f "$sample" ] || sox -n -r 16000 -c 1 "$sample" synth 0.35 sine 300-500 vol 0.4 pad 0 0.3 repeat 9
  settings+=(-microphoneFile "$sample")
fi

"$helpers/velmora" "${settings[@]}" "$@"
