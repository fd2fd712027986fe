#!/usr/bin/env python3
"""The patcher window in each shipped language, started in that language's
locale as a user's desktop would start it (LANG; under Wine the same locale
gives Windows' display language, and the .exe picks its catalogue from it):
the caption is the catalogue's, the "Info" popup opens, and the panel and
the popup are photographed for a look.

    test_languages.py --platform linux --exe build/linux/bin/kelm-patcher --shots DIR
    test_languages.py --platform windows --exe build/windows/bin/kelm-patcher.exe --shots DIR
"""
import sys
import tempfile
import unittest
from pathlib import Path

from xdesk import GREEN, ICON_BOX, INFO, TITLE, Desktop, Patcher, near, raw_rgb, window_test_args

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "po"))
import catalogues  # noqa: E402

EXE = SHOTS = PLATFORM = None
# Each catalogue's country, for a locale of the language.
COUNTRY = {"de": "DE", "es": "ES", "fr": "FR", "it": "IT", "ja": "JP", "pl": "PL", "ru": "RU", "uk": "UA"}
CAPTION = "Quelmor: Kelm patcher build %s"


def caption(lang):
    for _, msgid, strs in catalogues.entries(str(catalogues.PO_DIR) + "/%s.po" % lang):
        if msgid == CAPTION:
            return strs[0] % TITLE.rsplit(" ", 1)[1]
    raise AssertionError(f"{lang}.po has no caption")


class Languages(unittest.TestCase):
    def test_every_language_from_the_locale(self):
        for lang in catalogues.languages():
            with self.subTest(lang), tempfile.TemporaryDirectory(prefix="kelm-lang-") as cwd:
                desk = Desktop(PLATFORM)
                self.addCleanup(desk.close)
                locale = lang if "_" in lang else f"{lang}_{COUNTRY[lang]}"
                desk.env.update(LANG=f"{locale}.UTF-8", LC_ALL=f"{locale}.UTF-8")
                desk.env.pop("LANGUAGE", None)
                # The window is found by the caption in the language, or not at all;
                # what the program said on the way shows with the failure.
                said = open(Path(cwd) / "stderr.txt", "w+")
                self.addCleanup(said.close)
                try:
                    app = Patcher(PLATFORM, EXE, desk, cwd, title=caption(lang), stderr=said)
                except AssertionError as e:
                    said.seek(0)
                    raise AssertionError(f"{e}; the program said: {said.read()[-2000:]!r}") from None
                self.addCleanup(app.close)
                app.shot(Path(SHOTS) / f"lang-{lang}-panel.png")
                app.click(INFO)
                popup = app.shot(Path(SHOTS) / f"lang-{lang}-info.png")
                self.assertTrue(near(raw_rgb(popup, ICON_BOX), GREEN), "no information popup")
                app.close()
                desk.close()


if __name__ == "__main__":
    PLATFORM, EXE, SHOTS, rest = window_test_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
