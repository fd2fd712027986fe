// The program's texts in the user's language.
//
// Every text the user can see is written in English in the sources and
// marked: _("...") where it is shown, N_("...") where it only stands in a
// table and is shown through _() later. xgettext collects the marks into
// po/kelm-patcher.pot; each po/LL.po translates them. Until a language is
// chosen, and for any text a catalogue lacks, the English text is returned
// as it is, the very same pointer.
//
// Which catalogue answers is the front end's business: glibc's gettext on
// Linux (lang_gettext.cpp), a catalogue carried inside the program on
// Windows and handed in by the page on the web (lang_mo.cpp).
#pragma once

#include <stddef.h>

#define KELM_TEXT_DOMAIN "kelm-patcher"

// format_arg: a translated format is checked as its English source is.
__attribute__((format_arg(1))) const char *tr(const char *msgid);
// The form of `singular`/`plural` that goes with `n`, by the language's own
// plural rule (English: singular for 1, plural otherwise).
__attribute__((format_arg(1), format_arg(2))) const char *trn(const char *singular, const char *plural,
                                                             unsigned long n);
// A text that needs its context to be translated right (the same English
// word meaning two things).
const char *trc(const char *context, const char *msgid);

#define _(s) tr(s)
#define N_(s) s

// The code of the language shown, as its catalogue names it ("de",
// "pt_BR"), or "en": what a screen reader takes to pick its voice.
const char *lang_code(void);

// The name of the language shown, in that language ("English" until one is
// chosen): the translation of "English" in the context "language name".
// TRANSLATORS: not "English" but the name of your language in itself:
// "Deutsch", "Español", "日本語". The language chooser lists it.
inline const char *lang_autonym() { return trc("language name", "English"); }

#ifdef __cplusplus
#include <string>
// A (translated) printf format, filled in.
__attribute__((format(printf, 1, 2))) std::string tr_format(const char *format, ...);
#endif

// Chooses the language of the user's desktop, as each platform tells it,
// before the first text is shown: Linux as gettext does (LANGUAGE, LC_ALL,
// LC_MESSAGES, LANG), Windows by the user's display languages. English
// where no catalogue serves.
void lang_init(void);
