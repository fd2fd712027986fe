#!/usr/bin/env bash
# Builds the two release presets and writes the installable packages into
# build/packages: the Windows zip (both programs, a readme and the licences, in
# one folder), the Debian package and the RPM of the Linux build, and the web
# page's zip (the site's files in one folder, for any static host), with
# SHA256SUMS listing the four.
#
#   scripts/package.sh [OUT_DIR]      (default build/packages)
#
# The packages are reproducible: the same commit gives the same bytes, built
# anywhere, at any time, by anyone (scripts/check_reproducible.sh checks it).
# Their one time is SOURCE_DATE_EPOCH, the last commit's time unless it is set.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
die() { echo "package: $*" >&2; exit 1; }
out=$(realpath -m "${1:-$here/build/packages}")
cd "$here"

# Files that the build and the packaging write get the usual modes whatever the
# caller's umask: a strict one would otherwise reach the members of the .deb.
umask 022
[ "${KELM_NO_SETUP:-}" = 1 ] || bash scripts/setup.sh

# The one time of the build: what the packages' entries, the RPM's build time
# and every other time stamp say. A source tree without git history takes the
# newest changelog entry's date, as Debian's own package builds do.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$here" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  else
    SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' packaging/changelog | head -n 1)" +%s)
  fi
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH is no number of seconds: $SOURCE_DATE_EPOCH"
export SOURCE_DATE_EPOCH

for p in windows-release linux-release; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done

# Only what an earlier run wrote goes: OUT_DIR may hold other files.
mkdir -p "$out"
rm -f "$out"/kelm-patcher[-_]*.zip "$out"/kelm-patcher[-_]*.deb "$out"/kelm-patcher[-_]*.rpm \
  "$out"/SHA256SUMS "$out"/SHA256SUMS.asc
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows-release/CMakeCache.txt)

# Windows: the install tree is the folder inside the zip.
name=kelm-patcher-$version-windows-x64
stage=build/windows-release/zip
rm -rf "$stage"
cmake --install build/windows-release --prefix "$stage/$name" >/dev/null
python3 packaging/make_zip.py "$out/$name.zip" "$stage/$name"
artifacts=("$name.zip")

# Linux: dpkg-shlibdeps works out the Depends line from the programs, and
# rpmbuild the Requires.
(cd build/linux-release && rm -f ./*.deb ./*.rpm && cpack -G "DEB;RPM" >/dev/null)
for f in build/linux-release/kelm-patcher_"$version"_*.deb build/linux-release/kelm-patcher-"$version"-*.rpm; do
  cp "$f" "$out/"
  artifacts+=("$(basename "$f")")
done

# The web page: the site as built, with its licences beside it. Only the site:
# the page's tests are no part of the package.
[ -f build/web/build.ninja ] || cmake --preset web >/dev/null
cmake --build --preset web --target kelm_site >/dev/null
name=kelm-patcher-$version-web
stage=build/web/zip
rm -rf "$stage"
mkdir -p "$stage/$name"
cp -r build/web/site/. "$stage/$name/"
python3 packaging/make_docs.py web "$stage/$name" --version "$version" --license LICENSE \
  --dejavu /usr/share/doc/fonts-dejavu-core/copyright --libmd .cache/libmd/md5.c
python3 packaging/make_zip.py "$out/$name.zip" "$stage/$name"
artifacts+=("$name.zip")

# The checksums of the four, in sha256sum's format, by name in byte order (not
# the locale's).
(cd "$out" && printf '%s\n' "${artifacts[@]}" | LC_ALL=C sort | xargs -d '\n' sha256sum -- >SHA256SUMS)

echo "package: $out (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
ls -l "$out" build/windows-release/bin/*.exe | awk 'NF > 2 { printf "  %9d  %s\n", $5, $NF }'
