// kelm-patch's command line, checked before anything touches a file. Kept apart
// from main so the parsing can be exercised on any argv without side effects:
// it prints nothing and exits nothing; main says and does what it decides.
#pragma once

#include <string>
#include <vector>

enum ArgsOutcome {
    ARGS_RUN,       // `CliArgs` holds a command to carry out
    ARGS_HELP,      // show the usage text, exit 0
    ARGS_VERSION,   // show the version line, exit 0
    ARGS_USAGE,     // `error` says what is wrong, exit 2
};

struct CliArgs {
    int identify = 0;                  // 1: identify, 0: patch
    std::vector<const char *> files;   // argv's own strings, in order
    int json = 0;
    int music_fix = 0;
    int backup = 0;
    int fps_given = 0;
    int fps = 0;                       // 1..255 when fps_given
};

// `error` receives the message only, without the program name or the pointer
// to --help that main wraps around it.
ArgsOutcome parse_args(int argc, char **argv, CliArgs *out, std::string *error);
