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
#
# Signing, only when asked:
#   KELM_SIGN_PKCS12, KELM_SIGN_PASSWORD_FILE   Authenticode-sign both .exe
#       (SHA-256) with the certificate and key of this PKCS#12 file, whose
#       password is the first line of the other file, before they are zipped
#   KELM_SIGN_TIMESTAMP_URL   also have the signatures time-stamped by this
#       RFC 3161 server
#   KELM_GPG_KEY   sign the RPM (rpmsign) and SHA256SUMS (SHA256SUMS.asc) with
#       this key of gpg's default keyring (GNUPGHOME)
# KELM_NO_SETUP=1 skips scripts/setup.sh, for callers that have run it.
#
# A signature holds the time it was made, so a signed Windows zip, RPM and
# SHA256SUMS differ from one run to the next; the .deb and the web zip, and
# all four unsigned, never do.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

die() { echo "package: $*" >&2; exit 1; }
# The signing files may be named relative to where this was started.
for var in KELM_SIGN_PKCS12 KELM_SIGN_PASSWORD_FILE; do
  if [ -n "${!var:-}" ]; then
    [ -f "${!var}" ] || die "$var names no file: ${!var}"
    printf -v "$var" '%s' "$(realpath "${!var}")"
  fi
done
out=$(realpath -m "${1:-$here/build/packages}")
cd "$here"

# Files that the build and the packaging write get the usual modes whatever the
# caller's umask: a strict one would otherwise reach the members of the .deb.
umask 022
[ "${KELM_NO_SETUP:-}" = 1 ] || bash scripts/setup.sh

sign_exe=0
if [ -n "${KELM_SIGN_PKCS12:-}" ] || [ -n "${KELM_SIGN_PASSWORD_FILE:-}" ]; then
  [ -n "${KELM_SIGN_PKCS12:-}" ] && [ -n "${KELM_SIGN_PASSWORD_FILE:-}" ] \
    || die "KELM_SIGN_PKCS12 and KELM_SIGN_PASSWORD_FILE go together"
  command -v osslsigncode >/dev/null || die "osslsigncode is missing (scripts/setup.sh installs it)"
  sign_exe=1
elif [ -n "${KELM_SIGN_TIMESTAMP_URL:-}" ]; then
  die "KELM_SIGN_TIMESTAMP_URL without KELM_SIGN_PKCS12: nothing to time-stamp"
fi
gpg_key=${KELM_GPG_KEY:-}
if [ -n "$gpg_key" ]; then
  for tool in gpg rpmsign; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup.sh installs it)"
  done
  gpg --batch --list-secret-keys "$gpg_key" >/dev/null 2>&1 || die "gpg has no secret key $gpg_key"
fi

# The one time of the build: what the packages' entries, the RPM's build time
# and every other time stamp say. A source tree without git history takes the
# newest changelog entry's date, as Debian's own package builds do.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
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

# Windows: the install tree is the folder inside the zip, its programs signed
# first when asked.
name=kelm-patcher-$version-windows-x64
stage=build/windows-release/zip
rm -rf "$stage"
cmake --install build/windows-release --prefix "$stage/$name" >/dev/null
if [ "$sign_exe" -eq 1 ]; then
  for exe in "$stage/$name"/*.exe; do
    args=(sign -pkcs12 "$KELM_SIGN_PKCS12" -readpass "$KELM_SIGN_PASSWORD_FILE" -h sha256
          -n "Quelmor: Kelm patcher")
    [ -z "${KELM_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$KELM_SIGN_TIMESTAMP_URL")
    osslsigncode "${args[@]}" -in "$exe" -out "$exe.signed" >/dev/null || die "osslsigncode could not sign $exe"
    # osslsigncode writes its output without the execute bits of its input.
    chmod --reference="$exe" "$exe.signed"
    mv "$exe.signed" "$exe"
  done
fi
python3 packaging/make_zip.py "$out/$name.zip" "$stage/$name"
artifacts=("$name.zip")

# Linux: dpkg-shlibdeps works out the Depends line from the programs, and
# rpmbuild the Requires.
(cd build/linux-release && rm -f ./*.deb ./*.rpm && cpack -G "DEB;RPM" >/dev/null)
for f in build/linux-release/kelm-patcher_"$version"_*.deb build/linux-release/kelm-patcher-"$version"-*.rpm; do
  cp "$f" "$out/"
  artifacts+=("$(basename "$f")")
done
if [ -n "$gpg_key" ]; then
  # Debian's rpm looks for gpg under another name.
  rpmsign --define "__gpg $(command -v gpg)" --define "_gpg_name $gpg_key" --addsign \
    "$out"/kelm-patcher-"$version"-*.rpm >/dev/null \
    || die "rpmsign could not sign the RPM with $gpg_key"
fi

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
if [ -n "$gpg_key" ]; then
  gpg --batch --yes --local-user "$gpg_key" --armor --detach-sign --output "$out/SHA256SUMS.asc" "$out/SHA256SUMS" \
    || die "gpg could not sign SHA256SUMS with $gpg_key"
fi

echo "package: $out (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
ls -l "$out" build/windows-release/bin/*.exe | awk 'NF > 2 { printf "  %9d  %s\n", $5, $NF }'
if [ "$sign_exe" -eq 1 ]; then
  echo "package: both .exe Authenticode-signed${KELM_SIGN_TIMESTAMP_URL:+ and time-stamped by $KELM_SIGN_TIMESTAMP_URL}"
else
  echo "package: the .exe files are not signed (KELM_SIGN_PKCS12 and KELM_SIGN_PASSWORD_FILE are not set)"
fi
if [ -n "$gpg_key" ]; then
  echo "package: the RPM and SHA256SUMS (SHA256SUMS.asc) signed with $gpg_key"
else
  echo "package: the RPM and SHA256SUMS are not signed (KELM_GPG_KEY is not set)"
fi
