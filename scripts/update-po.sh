#!/bin/bash
# Refreshes po/kelm-patcher.pot from the texts marked in the sources, the
# desktop entry and the AppStream metainfo, and merges it into every
# po/LL.po named in po/LINGUAS (a language new to LINGUAS gets its po/LL.po
# made). Run it after changing a text the user sees; then translate what
# msgmerge marked new or fuzzy.
set -euo pipefail
cd "$(dirname "$0")/.."

# The popup's texts keep the CR LF line ends they have always had, which
# gettext's tools warn of at every step: that warning, and only it, is dropped.
quiet() { "$@" 2> >(grep -v "should not contain the '.r' escape sequence" >&2); }

version=$(sed -n 's/^project(kelm VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
header=(--package-name=kelm-patcher --package-version="$version" --no-wrap
        --msgid-bugs-address="https://github.com/ostrel/kelm-patcher/issues"
        --copyright-holder="the Kelm patcher's authors")
mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.h' | LC_ALL=C sort)
quiet xgettext "${header[@]}" --language=C++ --from-code=UTF-8 --add-comments=TRANSLATORS: \
    --keyword=_ --keyword=N_ --keyword=trn:1,2 --keyword=trc:1c,2 -o po/kelm-patcher.pot "${sources[@]}"
# The desktop entry and the metainfo, by gettext's and AppStream's own rules.
quiet xgettext "${header[@]}" --from-code=UTF-8 --join-existing -o po/kelm-patcher.pot \
    packaging/kelm-patcher.desktop packaging/io.github.ostrel.KelmPatcher.metainfo.xml

while read -r lang; do
    [[ -z "$lang" || "$lang" == \#* ]] && continue
    if [[ -f "po/$lang.po" ]]; then
        quiet msgmerge --quiet --update --backup=none --no-wrap "po/$lang.po" po/kelm-patcher.pot
    else
        quiet msginit --no-translator --no-wrap --locale="$lang.UTF-8" -i po/kelm-patcher.pot -o "po/$lang.po"
    fi
done < po/LINGUAS
