#include "cli/args.h"

#include "lang/lang.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Strict decimal: digits only, no sign, no spaces, any number of leading
// zeros. Past them, more than three digits are out of range whatever they
// are, and are not added up, so that no length overflows.
int parse_fps(const char *text, int *value) {
    if (!*text || strspn(text, "0123456789") != strlen(text)) return 0;
    while (text[0] == '0' && text[1]) ++text;
    *value = strlen(text) > 3 ? INT_MAX : atoi(text);
    return 1;
}

ArgsOutcome usage(std::string *error, std::string message) {
    *error = std::move(message);
    return ARGS_USAGE;
}

}  // namespace

ArgsOutcome parse_args(int argc, char **argv, CliArgs *out, std::string *error) {
    *out = CliArgs();
    error->clear();
    if (argc < 2) return usage(error, _("no command given"));
    const char *command = argv[1];
    if (!strcmp(command, "--help") || !strcmp(command, "-h")) return ARGS_HELP;
    if (!strcmp(command, "--version")) return ARGS_VERSION;
    out->identify = !strcmp(command, "identify");
    if (!out->identify && strcmp(command, "patch"))
        return usage(error, tr_format(_("unknown command '%s'"), command));

    // Options and files mix freely until "--"; a lone "-" is a file name.
    int options_done = 0;
    for (int i = 2; i < argc; ++i) {
        const char *arg = argv[i];
        if (options_done || arg[0] != '-' || !strcmp(arg, "-")) {
            out->files.push_back(arg);
        } else if (!strcmp(arg, "--")) {
            options_done = 1;
        } else if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            return ARGS_HELP;
        } else if (!strcmp(arg, "--json")) {
            out->json = 1;
        } else if (!out->identify && !strcmp(arg, "--music-fix")) {
            out->music_fix = 1;
        } else if (!out->identify && !strcmp(arg, "--backup")) {
            out->backup = 1;
        } else if (!out->identify && (!strcmp(arg, "--fps") || !strncmp(arg, "--fps=", 6))) {
            const char *value = arg[5] == '=' ? arg + 6 : (i + 1 < argc ? argv[++i] : nullptr);
            if (!value) return usage(error, _("--fps needs a value"));
            if (!parse_fps(value, &out->fps) || out->fps < 1 || out->fps > 255)
                return usage(error, tr_format(_("--fps takes a whole number from 1 to 255, not '%s'"), value));
            out->fps_given = 1;
        } else {
            return usage(error, tr_format(_("unknown option '%s'"), arg));
        }
    }

    if (out->identify) {
        if (out->files.empty()) return usage(error, _("identify needs at least one FILE"));
        return ARGS_RUN;
    }
    if (out->files.size() != 1) return usage(error, _("patch takes exactly one FILE"));
    if (!out->fps_given && !out->music_fix) return usage(error, _("patch needs --fps N, --music-fix or both"));
    return ARGS_RUN;
}
