#!/usr/bin/env bash
# Builds the release packages twice from the committed HEAD and checks that the
# two builds give the same bytes: the Windows zip, the .deb, the .rpm and the
# web zip. The builds share nothing but the installed toolchain: each runs in
# its own fresh clone (at paths of different lengths), with its own HOME, and
# the second one differs from the first in everything a build might let leak
# into what it makes: the clock (a year and more ahead, through faketime), the
# umask, the locale, the time zone and the host name.
#
#   scripts/check_reproducible.sh [--keep] [--first DIR]
#
# --first DIR takes the packages that scripts/package.sh just wrote into DIR
# from this checkout as the first build, instead of building them again, when
# the checkout is HEAD exactly (nothing changed, nothing untracked) and DIR's
# SHA256SUMS is right; otherwise the first build is made as usual.
# On a difference it prints diffoscope's report of each artifact that differs
# (the whole report is kept in the scratch folder, named on the last line) and
# exits 1. --keep keeps the scratch folder also when the builds agree.
# Uncommitted changes are not part of the check: it clones HEAD.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# --build NAME DIR REV WORK (the script's own inner step): a fresh clone of REV
# in DIR with the Nuklear and libmd files copied in (they are never in git),
# packaged by scripts/package.sh, under whatever conditions the caller set.
if [ "${1:-}" = "--build" ]; then
  name=$2 dir=$3 rev=$4 work=$5
  mkdir -p "$(dirname "$dir")" "$HOME"
  git clone -q --no-hardlinks "$here" "$dir"
  git -C "$dir" checkout -q --detach "$rev"
  cp -rL "$here/.cache" "$dir/.cache"
  started=$SECONDS
  if ! (cd "$dir" && KELM_NO_SETUP=1 bash scripts/package.sh) >"$work/$name.log" 2>&1; then
    echo "reproducible: the $name build failed; its log ($work/$name.log) ends:" >&2
    tail -n 30 "$work/$name.log" >&2
    exit 1
  fi
  echo "reproducible: $name build in $((SECONDS - started)) s ($dir, $(date), umask $(umask), $(hostname))"
  exit 0
fi
keep=0 first=
while [ "$#" -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --first) first=$(realpath "$2"); shift ;;
    *) echo "reproducible: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

for tool in faketime diffoscope localedef unshare git; do
  command -v "$tool" >/dev/null || { echo "reproducible: $tool is missing (scripts/setup.sh installs it)" >&2; exit 2; }
done
[ -d "$here/.cache/nuklear" ] && [ -d "$here/.cache/libmd" ] \
  || { echo "reproducible: no .cache here: run scripts/setup.sh first" >&2; exit 2; }

work=$(mktemp -d /tmp/kelm-repro.XXXXXX)
chmod 755 "$work"
cleanup() {
  if [ "$keep" -eq 0 ] && [ "${failed:-1}" -eq 0 ]; then rm -rf "$work"; fi
}
trap cleanup EXIT

rev=$(git -C "$here" rev-parse HEAD)
if [ -n "$(git -C "$here" status --porcelain --untracked-files=no)" ]; then
  echo "reproducible: note: uncommitted changes are not part of this check (it builds $rev)"
fi

# The second build's locale sorts and formats otherwise than C does. It is
# compiled into the scratch folder, so that the machine's own locale
# configuration stays as it is.
mkdir -p "$work/locale"
localedef -i fr_FR -f UTF-8 "$work/locale/fr_FR.UTF-8" 2>/dev/null \
  || [ -d "$work/locale/fr_FR.UTF-8" ] \
  || { echo "reproducible: localedef could not make fr_FR.UTF-8" >&2; exit 2; }

one="$work/a/src"
two="$work/second-build-in-a-much-longer-folder/kelm-patcher"
# Each build starts from an empty environment: nothing of the caller's (a
# SOURCE_DATE_EPOCH, a compiler flag, a locale) reaches either.
clean_env=(env -i PATH="/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin" TERM=dumb)
self="$here/scripts/check_reproducible.sh"

started=$SECONDS
if [ -n "$first" ] && [ -z "$(git -C "$here" status --porcelain)" ] \
   && (cd "$first" && sha256sum --quiet -c SHA256SUMS) >/dev/null 2>&1; then
  # The first build: this checkout's, made just before under the caller's conditions.
  echo "reproducible: the first build is this checkout's, in $first"
  mkdir -p "$one/build"
  cp -r "$first" "$one/build/packages"
else
  [ -z "$first" ] || echo "reproducible: note: $first is not a build of HEAD as it is committed; building it anew"
  # The first build: the usual conditions.
  "${clean_env[@]}" HOME="$work/one-home" LC_ALL=C.UTF-8 TZ=UTC \
    bash -c 'umask 022; exec bash "$0" --build one "$1" "$2" "$3"' "$self" "$one" "$rev" "$work"
fi

# The second: a clock 400 days ahead, a strict umask, another locale, a time
# zone 14 hours east of UTC, and another host name, in a UTS namespace of its
# own (where the machine allows one).
uts=(unshare --uts)
if ! unshare --uts true 2>/dev/null; then
  echo "reproducible: note: no UTS namespace here, so both builds run under one host name"
  uts=()
fi
"${clean_env[@]}" HOME="$work/two-home" LOCPATH="$work/locale" LC_ALL=fr_FR.UTF-8 TZ=Pacific/Kiritimati \
  "${uts[@]}" bash -c '{ [ "$4" = 0 ] || hostname kelm-second-builder; } && umask 077 &&
    exec faketime -f +400d bash "$0" --build two "$1" "$2" "$3"' "$self" "$two" "$rev" "$work" "${#uts[@]}"

# What the first build made: the packages SHA256SUMS names, and SHA256SUMS.
failed=1
mapfile -t made < <(sed 's/^[0-9a-f]* [ *]//' "$one/build/packages/SHA256SUMS" 2>/dev/null)
if [ "${#made[@]}" -ne 4 ]; then
  echo "reproducible: the first build's SHA256SUMS names ${#made[@]} packages, not 4" >&2
  exit 1
fi
made+=(SHA256SUMS)
failed=0
echo "reproducible: comparing"
differ=()
bad=0
for f in "${made[@]}"; do
  a=$(sha256sum <"$one/build/packages/$f" | cut -d' ' -f1)
  if [ ! -f "$two/build/packages/$f" ]; then
    echo "  MISSING in the second build: $f"
    failed=1
    bad=$((bad + 1))
    continue
  fi
  b=$(sha256sum <"$two/build/packages/$f" | cut -d' ' -f1)
  if [ "$a" = "$b" ]; then
    echo "  same  $a  $f"
  else
    echo "  DIFF  $a / $b  $f"
    differ+=("$f")
    failed=1
    bad=$((bad + 1))
  fi
done

for f in "${differ[@]}"; do
  report="$work/diffoscope-$f.txt"
  echo "reproducible: diffoscope $f (the first 300 lines; all of it in $report)"
  diffoscope --no-progress --text "$report" "$one/build/packages/$f" "$two/build/packages/$f" >/dev/null 2>&1 || true
  head -n 300 "$report"
done
if [ "$failed" -ne 0 ]; then
  echo "reproducible: the two builds differ (in $((SECONDS - started)) s); both and the reports are in $work"
  echo "reproducible: $((${#made[@]} - bad)) passed, $bad failed"
  exit 1
fi
echo "reproducible: the two builds are the same, byte for byte (in $((SECONDS - started)) s)"
echo "reproducible: ${#made[@]} passed, 0 failed"
