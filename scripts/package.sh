#!/usr/bin/env bash
# Builds the two release presets and writes the installable packages into
# build/packages: the Windows zip (both programs, a readme and the licences, in
# one folder), the Debian package and the RPM of the Linux build, and the web
# page's zip (the site's files in one folder, for any static host).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$here"
bash scripts/setup.sh
for p in windows-release linux-release; do
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done

out=build/packages
rm -rf "$out"
mkdir -p "$out"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/windows-release/CMakeCache.txt)

# Windows: the install tree is the folder inside the zip.
name=kelm-patcher-$version-windows-x64
stage=build/windows-release/zip
rm -rf "$stage"
cmake --install build/windows-release --prefix "$stage/$name" >/dev/null
(cd "$stage" && cmake -E tar cf "$here/$out/$name.zip" --format=zip "$name")

# Linux: dpkg-shlibdeps works out the Depends line from the programs, and
# rpmbuild the Requires.
(cd build/linux-release && rm -f ./*.deb ./*.rpm && cpack -G "DEB;RPM" >/dev/null)
cp build/linux-release/kelm-patcher_"$version"_*.deb build/linux-release/kelm-patcher-"$version"-*.rpm "$out/"

# The web page: the site as built, with its licences beside it.
bash scripts/build.sh web >/dev/null
name=kelm-patcher-$version-web
stage=build/web/zip
rm -rf "$stage"
mkdir -p "$stage/$name"
cp -r build/web/site/. "$stage/$name/"
python3 packaging/make_docs.py web "$stage/$name" --version "$version" --license LICENSE \
  --dejavu /usr/share/doc/fonts-dejavu-core/copyright --libmd .cache/libmd/md5.c
(cd "$stage" && cmake -E tar cf "$here/$out/$name.zip" --format=zip "$name")

echo "package: build/packages"
ls -l "$out" build/windows-release/bin/*.exe | awk 'NF > 2 { printf "  %9d  %s\n", $5, $NF }'
