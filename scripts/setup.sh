#!/usr/bin/env bash
# Installs what the project builds and tests with, and fetches the Nuklear header.
# Idempotent: when everything is already there it only checks and returns.
#
#   scripts/setup.sh            everything (native, Windows cross build, Wine, X test tools,
#                               the package checks' validators)
#   scripts/setup.sh native     only what the native Linux window and kelm-patch need
#
# Run as root (or with sudo available) on Debian 12.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache="$here/.cache"
nuklear_sha256=5ca9fd74ca145d96271a8f09679f33ce7d4ac3a460c0bc41d73f5387c9b9f94d
nuklear_dest="$cache/nuklear/nuklear.h"

packages=(
  cmake ninja-build g++ make pkg-config dpkg-dev python3 googletest
  libssl-dev libgtk-3-dev
  fonts-dejavu-core python3-fonttools python3-pil
)
if [ "${1:-}" != "native" ]; then
  packages+=(
    libbenchmark-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 xvfb xdotool x11-utils imagemagick xclip python3-xlib
    desktop-file-utils appstream groff-base
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

# The MinGW-w64 toolchain must be the POSIX-threads flavour (std::thread and friends).
if [ "${1:-}" != "native" ]; then
  for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix; do
    command -v "$tool" >/dev/null || { echo "setup: $tool is missing after install" >&2; exit 1; }
  done
fi

sha_ok() { [ -f "$1" ] && echo "$nuklear_sha256  $1" | sha256sum -c --status; }

# Nuklear 4.00.1 ships inside Debian's glfw3 source package (deps/nuklear.h).
if ! sha_ok "$nuklear_dest"; then
  echo "setup: fetching the Nuklear header from the glfw3 source package"
  # apt-get source needs deb-src entries: derive them from the machine's own binary entries.
  srclist=/etc/apt/sources.list.d/kelm-deb-src.sources
  if ! apt-get source --print-uris glfw3 >/dev/null 2>&1; then
    tmp=$(mktemp)
    found=0
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
  fi
  work=$(mktemp -d)
  chmod 755 "$work"   # apt drops to its own user for the download
  (cd "$work" && apt-get source --download-only -q glfw3 >/dev/null)
  tarball=$(ls "$work"/glfw3_*.orig.tar.* | head -n 1)
  mkdir -p "$cache/nuklear"
  member=$(tar -tf "$tarball" | grep -E '(^|/)deps/nuklear\.h$' | head -n 1)
  [ -n "$member" ] || { echo "setup: deps/nuklear.h not found in $tarball" >&2; exit 1; }
  tar -xOf "$tarball" "$member" >"$nuklear_dest.tmp"
  rm -rf "$work"
  if ! sha_ok "$nuklear_dest.tmp"; then
    echo "setup: the Nuklear header from the glfw3 source package does not have the expected sha256" >&2
    rm -f "$nuklear_dest.tmp"
    exit 1
  fi
  mv "$nuklear_dest.tmp" "$nuklear_dest"
fi

echo "setup: ready (Nuklear header $nuklear_dest)"
