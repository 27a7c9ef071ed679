#!/usr/bin/env bash
# Speaks the chatter sounds that are words into assets/voices/waveN.wav with
# espeak-ng, each in a voice and pitch of its own so that no two sound alike.
# The files are kept small: mono, 16000 Hz, 8-bit mu-law, silence trimmed,
# peaks at -1 dB. The game builds them in; rerun this only to change a voice.
# The chatter sounds that are noises (a cough, snoring, a sneeze) stay
# synthesised in client/sounds.cpp.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/assets/voices"
mkdir -p "$out"
for tool in espeak-ng sox; do
  command -v "$tool" >/dev/null || apt-get install -y espeak-ng sox >/dev/null
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# speak NUMBER VOICE PITCH(0-99) SPEED(words/min) TEXT
speak() {
  espeak-ng -v "$2" -p "$3" -s "$4" -w "$tmp/raw.wav" "$5"
  # Trim the silence at both ends, fade the ends in and out (3 and 10 ms) so
  # they do not click, peak-normalise; no dither, so every run writes the
  # same bytes.
  sox -D "$tmp/raw.wav" -r 16000 -c 1 -e u-law -b 8 "$out/wave$1.wav" \
    silence 1 0.01 -45d reverse silence 1 0.01 -45d fade 0.01 reverse fade 0.003 gain -n -1
}

speak 1 en-us+m3 25 150 "D'oh!"
speak 3 en-us+f2 65 150 "Hello!"
speak 4 en-us+m1 45 150 "Thank you!"
speak 5 en-us+f4 55 165 "Where have you been?"
speak 8 en-us+m7 30 120 "Sorry."
speak 9 en-gb+f4 65 150 "Welcome!"
speak 10 en-us+m2 75 170 "Yee haw!"
speak 11 en-us+f5 90 190 "Yippee!"
speak 12 en-gb+m4 40 120 "Oh no!"

ls -l "$out"
