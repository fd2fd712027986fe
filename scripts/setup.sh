#!/usr/bin/env bash
# Installs what the project builds and tests with, and fetches the Nuklear header.
# Idempotent: when everything is already there it only checks and returns.
#
#   scripts/setup.sh            everything (native, Windows cross build, Wine, X test tools,
#                               rpmbuild, the package checks' validators and linters, the
#                               signing tools and what checks that two builds are the same)
#   scripts/setup.sh native     only what the native Linux window and kelm-patch need
#   scripts/setup.sh web        only what the web page needs to be built and served
#
# Run as root (or with sudo available) on Debian 12.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$here/.cache"
nuklear_sha256=5ca9fd74ca145d96271a8f09679f33ce7d4ac3a460c0bc41d73f5387c9b9f94d
nuklear_dest="$cache/nuklear/nuklear.h"
libmd_md5_c_sha256=856ed7aea6ecdbeb39bfbec8f0507b539abd1b562866c42ff14d1bffc014b2b6
libmd_md5_h_sha256=1eca64e9274ef04fa6c6f56a383c2b6fead522e43c54ed7371ce16abd6369065

mode="${1:-all}"
packages=(
  cmake ninja-build g++ make pkg-config dpkg-dev python3 googletest
  fonts-dejavu-core python3-fonttools python3-pil gettext
)
# The web page: Debian's emscripten (its optimiser needs node-acorn); zopfli,
# fontTools' WOFF2 (python3-brotli) for putting the page together; the three
# browser engines of the page's tests: Chromium, Firefox, and WebKitGTK's
# MiniBrowser (in libwebkit2gtk-4.1-0) through WebKitWebDriver, in Xvfb.
# locales: the WebKit language tests make the locales they ask the browser for.
web_packages=(emscripten node-acorn zopfli python3-brotli chromium firefox-esr webkit2gtk-driver xvfb locales)
if [ "$mode" = "web" ]; then
  packages+=("${web_packages[@]}")
else
  # strace: the command line's test sees the program sync the file it patched.
  # The windows draw characters their own font lacks from installed fonts:
  # Noto for most scripts, and its CJK collections (about 90 MB) for
  # Chinese, Japanese and Korean; the text tests show names in all of them.
  packages+=(libssl-dev libgtk-3-dev strace fonts-noto-core fonts-noto-cjk)
fi
if [ "$mode" = "all" ]; then
  packages+=("${web_packages[@]}")
  packages+=(
    libbenchmark-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xdotool x11-utils imagemagick xclip python3-xlib
    python3-pyatspi at-spi2-core dbus-daemon
    desktop-file-utils appstream groff-base
    rpm lintian rpmlint devscripts
    osslsigncode gnupg openssl diffoscope faketime locales
  )
fi

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    as_root apt-get update -q >/dev/null
    apt_updated=1
  fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests run the programs in each shipped language: the Linux programs
# through glibc's locales, the Windows ones through Wine, which takes the
# Windows display language from the same locale. English (U.S.) for the
# tests that check the English texts stay as they are.
if [ "$mode" = "all" ]; then
  have=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]')
  for locale in de_DE es_ES es_MX fr_FR it_IT ja_JP pl_PL pt_BR ru_RU uk_UA zh_CN en_US; do
    lower=$(echo "$locale.utf8" | tr '[:upper:]' '[:lower:]')
    grep -qx "$lower" <<<"$have" || as_root localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
fi

# The MinGW-w64 toolchain must be the POSIX-threads flavour (std::thread and friends).
if [ "$mode" = "all" ]; then
  for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix; do
    command -v "$tool" >/dev/null || { echo "setup: $tool is missing after install" >&2; exit 1; }
  done
fi

# deb-src entries, derived from the machine's own binary entries, for the
# two files taken out of Debian source packages below.
ensure_deb_src() {
  local srclist=/etc/apt/sources.list.d/kelm-deb-src.sources
  apt-get source --print-uris "$1" >/dev/null 2>&1 && return 0
  local tmp found=0
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    [ "$f" = "$srclist" ] && continue
    # Copy each deb822 stanza that lists Debian's main archive, switched to source.
    if grep -q -E '^URIs:.*debian' "$f"; then
      sed -E 's/^Types:.*/Types: deb-src/' "$f" >>"$tmp"
      printf '\n' >>"$tmp"
      found=1
    fi
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb [^#]*debian' /etc/apt/sources.list | sed -E 's/^deb /deb-src /' \
      | as_root tee /etc/apt/sources.list.d/kelm-deb-src.list >/dev/null || true
    [ -s /etc/apt/sources.list.d/kelm-deb-src.list ] && found=1
  fi
  if [ "$found" -eq 0 ]; then
    echo "setup: no Debian archive entry to derive a deb-src entry from" >&2
    exit 1
  fi
  [ -s "$tmp" ] && as_root install -m 0644 "$tmp" "$srclist"
  rm -f "$tmp"
  apt_updated=0
  apt_update
}

sha_ok() { [ -f "$1" ] && echo "$2  $1" | sha256sum -c --status; }

# from_source PACKAGE 'MEMBER=DEST=SHA256'...: files out of a Debian source
# package's upstream tarball, each checked against its sha256.
from_source() {
  local package=$1 wanted=() item member dest sha
  shift
  for item in "$@"; do
    IFS='=' read -r member dest sha <<<"$item"
    sha_ok "$dest" "$sha" || wanted+=("$item")
  done
  [ "${#wanted[@]}" -gt 0 ] || return 0
  echo "setup: fetching from the $package source package"
  ensure_deb_src "$package"
  local work tarball path
  work=$(mktemp -d)
  chmod 755 "$work"   # apt drops to its own user for the download
  (cd "$work" && apt-get source --download-only -q "$package" >/dev/null)
  tarball=$(ls "$work/${package}"_*.orig.tar.* | head -n 1)
  for item in "${wanted[@]}"; do
    IFS='=' read -r member dest sha <<<"$item"
    path=$(tar -tf "$tarball" | grep -E "(^|/)${member//./\\.}\$" | head -n 1)
    [ -n "$path" ] || { echo "setup: $member not found in $tarball" >&2; exit 1; }
    mkdir -p "$(dirname "$dest")"
    tar -xOf "$tarball" "$path" >"$dest.tmp"
    if ! sha_ok "$dest.tmp" "$sha"; then
      echo "setup: $member from the $package source package does not have the expected sha256" >&2
      rm -f "$dest.tmp"
      exit 1
    fi
    mv "$dest.tmp" "$dest"
  done
  rm -rf "$work"
}

# Nuklear 4.00.1 ships inside Debian's glfw3 source package (deps/nuklear.h).
if [ "$mode" != "web" ]; then
  from_source glfw3 "deps/nuklear.h=$nuklear_dest=$nuklear_sha256"
fi
# The page's MD5: libmd's (public domain, Colin Plumb's), from Debian's libmd
# source package, as dpkg itself uses it.
if [ "$mode" != "native" ]; then
  from_source libmd "src/md5.c=$cache/libmd/md5.c=$libmd_md5_c_sha256" \
    "include/md5.h=$cache/libmd/md5.h=$libmd_md5_h_sha256"
fi

# The page's browser tests: playwright-core, puppeteer-core, selenium-webdriver,
# lighthouse and axe-core from npm, exactly as the lock file pins them (the
# newest that run on Debian's Node 20). They drive Debian's browsers and never
# download one of their own.
if [ "$mode" != "native" ]; then
  for tool in node npm; do
    command -v "$tool" >/dev/null || { echo "setup: $tool is missing (the machine's Node.js)" >&2; exit 1; }
  done
  web_tests="$here/tests/web"
  stamp="$web_tests/node_modules/.kelm-lock"
  if ! cmp -s "$web_tests/package-lock.json" "$stamp"; then
    echo "setup: installing the page tests' npm packages"
    (cd "$web_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
    cp "$web_tests/package-lock.json" "$stamp"
  fi
fi

echo "setup: ready"
