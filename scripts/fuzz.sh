#!/usr/bin/env bash
# Runs the host, table-window or save fuzzer for longer than the test
# command does, and prints libFuzzer's final figures (inputs run, peak memory).
#
#   scripts/fuzz.sh host|table|save [--light] [seconds] [more libFuzzer flags]
#
# By default with AddressSanitizer and UndefinedBehaviorSanitizer, built in
# build-fuzz-asan.
# --light builds with UndefinedBehaviorSanitizer and the library's bounds
# checks only (build-fuzz-ubsan): several times faster, and near the real
# memory use. The corpus grows in build-fuzz/fuzz_<name>-corpus; a crash is
# written as build-fuzz/fuzz_<name>-crash-*: keep it in
# tests/data/fuzz-<name>, where the unit tests replay it. For a number of
# inputs rather than a time, pass e.g. -runs=1000000 after the seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
which=${1:?host, table or save}
shift
sanitizers=address,undefined
tree=build-fuzz-asan
if [[ ${1:-} == --light ]]; then
  sanitizers=undefined
  tree=build-fuzz-ubsan
  shift
fi
seconds=${1:-3600}
shift || true
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$tree" -G Ninja -DCMAKE_CXX_COMPILER="$(command -v clang++)" -DCMAKE_C_COMPILER="$(command -v clang)" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOMBRIX_FUZZ_BUILD=ON -DOMBRIX_FUZZ_SANITIZERS=$sanitizers "${launcher[@]}" \
  >/dev/null
cmake --build "$tree" --target "fuzz_$which"
# The table window lives from input to input: only the leak search at exit
# tells anything there.
extra=()
[[ $which == table ]] && extra=(-detect_leaks=0)
# A save is a few kilobytes; longer inputs only slow the search.
[[ $which == save ]] && extra=(-max_len=16384)
corpus=build-fuzz/fuzz_$which-corpus
mkdir -p "$corpus"
export QT_QPA_PLATFORM=offscreen
exec "$tree/bin/fuzz_$which" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
  "${extra[@]}" -artifact_prefix="build-fuzz/fuzz_$which-crash-" "$corpus" "tests/data/fuzz-$which" "$@"
