#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang with ASan and UBSan) and runs
# each for SECONDS (default 60), as many at a time as there are cores.
#
#   scripts/fuzz.sh [SECONDS]
#
# What a run adds to the corpus stays in build/fuzz/corpus/<target>/ for the
# next one; seeds are made afresh in build/fuzz/seeds/<target>/. Crashes, leaks
# and timeouts go to build/fuzz/findings/<target>/, and the script then exits 1.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
seconds=${1:-60}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2; }

bash scripts/setup.sh native

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
missing=()
for p in clang libclang-rt-14-dev; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "fuzz: installing ${missing[*]}"
  as_root apt-get update -q >/dev/null
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

[ -f build/fuzz/build.ninja ] || cmake --preset fuzz >/dev/null
out=build/fuzz
targets=(fuzz_identify fuzz_patch fuzz_cli_args fuzz_lang_mo)
cmake --build --preset fuzz --target "${targets[@]}"

rm -rf "$out/seeds" "$out/logs"
# The catalogue reader's seeds include the build's own catalogues.
python3 fuzz/make_seeds.py "$out/seeds" "$out/bin/locale"
mkdir -p "$out/logs"

# Every run rewrites a whole executable: keep the fuzzers' scratch files in
# memory where /dev/shm is there, and gone afterwards even if a fuzzer crashed.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$shm/kelm-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run() {
  local t=$1 rc=0
  mkdir -p "$out/corpus/$t" "$out/findings/$t"
  TMPDIR=$scratch "$out/bin/$t" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$out/findings/$t/" "$out/corpus/$t" "$out/seeds/$t" >"$out/logs/$t.log" 2>&1 || rc=$?
  echo "$rc" >"$out/logs/$t.rc"
}

slots=$(nproc)
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$slots" ]; do wait -n || true; done
  run "$t" &
done
wait

status=0
for t in "${targets[@]}"; do
  log=$out/logs/$t.log
  rc=$(cat "$out/logs/$t.rc")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -E -n 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -E -n 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  corp=$(sed -E -n 's/.* corp: ([0-9]+).*/\1/p' <<<"$last")
  if [ "$rc" -eq 0 ]; then
    result=ok
  else
    result="FAILED (exit $rc): $(ls "$out/findings/$t" | tr '\n' ' ')see $log"
    status=1
  fi
  printf 'fuzz: %-14s %9s execs (%s/s), corpus %s, cov %s ft %s: %s\n' \
    "$t" "${execs:-?}" "${rate:-?}" "${corp:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
exit $status
