#!/bin/bash
# Refreshes po/kelm-patcher.pot from the texts marked in the sources, the
# desktop entry and the AppStream metainfo, and merges it into every
# po/LL.po named in po/LINGUAS (a language new to LINGUAS gets its po/LL.po
# made). Run it after changing a text the user sees; then translate what
# msgmerge marked new or fuzzy.
#
#   scripts/update-po.sh --check   changes nothing: fails where the template
#                                  is behind the sources, or a catalogue is not
#                                  whole (every message translated, none fuzzy,
#                                  every format as in the English: msgfmt --check)
set -euo pipefail
cd "$(dirname "$0")/.."
# The tools' own messages in English, whatever the user's locale: the check reads them.
export LC_ALL=C
check=0
[ "${1:-}" = "--check" ] && check=1

# The popup's texts keep the CR LF line ends they have always had, which
# gettext's tools warn of at every step: that warning, and only it, is dropped.
quiet() { "$@" 2> >(grep -v "should not contain the '.r' escape sequence" >&2); }

version=$(sed -n 's/^project(kelm VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
header=(--package-name=kelm-patcher --package-version="$version" --no-wrap
        --msgid-bugs-address="https://github.com/ostrel/kelm-patcher/issues"
        --copyright-holder="the Kelm patcher's authors")
mapfile -t sources < <(git ls-files 'src/*.cpp' 'src/*.h' | LC_ALL=C sort)
pot=po/kelm-patcher.pot
if [ "$check" = 1 ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  pot=$tmp/kelm-patcher.pot
fi
quiet xgettext "${header[@]}" --language=C++ --from-code=UTF-8 --add-comments=TRANSLATORS: \
    --keyword=_ --keyword=N_ --keyword=trn:1,2 --keyword=trc:1c,2 -o "$pot" "${sources[@]}"
# The desktop entry and the metainfo, by gettext's and AppStream's own rules.
quiet xgettext "${header[@]}" --from-code=UTF-8 --join-existing -o "$pot" \
    packaging/kelm-patcher.desktop packaging/io.github.ostrel.KelmPatcher.metainfo.xml

if [ "$check" = 1 ]; then
  status=0
  if ! diff <(grep -v '^"POT-Creation-Date' "$pot") <(grep -v '^"POT-Creation-Date' po/kelm-patcher.pot) >/dev/null; then
    echo "po/kelm-patcher.pot is behind the sources: run scripts/update-po.sh"
    status=1
  fi
  while read -r lang; do
    [[ -z "$lang" || "$lang" == \#* ]] && continue
    stats=$(msgfmt --check --statistics -o /dev/null "po/$lang.po" 2>&1 | grep -v "escape sequence" || true)
    echo "$lang: $stats"
    [[ "$stats" =~ ^[0-9]+\ translated\ messages\.$ ]] || status=1
    quiet msgcmp --use-untranslated "po/$lang.po" "$pot" || { echo "$lang: lacks messages of the template"; status=1; }
  done < po/LINGUAS
  exit $status
fi

while read -r lang; do
    [[ -z "$lang" || "$lang" == \#* ]] && continue
    if [[ -f "po/$lang.po" ]]; then
        quiet msgmerge --quiet --update --backup=none --no-wrap "po/$lang.po" po/kelm-patcher.pot
    else
        quiet msginit --no-translator --no-wrap --locale="$lang.UTF-8" -i po/kelm-patcher.pot -o "po/$lang.po"
    fi
done < po/LINGUAS
