// The texts through glibc's gettext: the Linux window and kelm-patch.
#include <libintl.h>
#include <limits.h>
#include <locale.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "lang/lang.h"

#ifndef KELM_LOCALEDIR
#define KELM_LOCALEDIR "/usr/share/locale"
#endif

const char *tr(const char *msgid) { return dgettext(KELM_TEXT_DOMAIN, msgid); }

const char *trn(const char *singular, const char *plural, unsigned long n) {
    return dngettext(KELM_TEXT_DOMAIN, singular, plural, n);
}

const char *trc(const char *context, const char *msgid) {
    // gettext's own key for a text in a context: the context, EOT, the text.
    std::string key = std::string(context) + '\004' + msgid;
    const char *found = dgettext(KELM_TEXT_DOMAIN, key.c_str());
    return found == key.c_str() || strcmp(found, key.c_str()) == 0 ? msgid : found;
}

void lang_init(void) {
    setlocale(LC_ALL, "");
    // A build tree's catalogues lie in locale/ beside its programs; an
    // installed program's where the package put them.
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = KELM_LOCALEDIR;
    if (n > 0) {
        self[n] = '\0';
        std::string beside(self, (size_t)(strrchr(self, '/') - self));
        beside += "/locale";
        struct stat st;
        if (stat(beside.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) dir = beside;
    }
    bindtextdomain(KELM_TEXT_DOMAIN, dir.c_str());
    bind_textdomain_codeset(KELM_TEXT_DOMAIN, "UTF-8");
}
