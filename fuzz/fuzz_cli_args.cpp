// kelm-patch's argument parsing on any argv: the input split at zero bytes,
// after the program name.
#include <limits.h>

#include "cli/args.h"
#include "fuzz_common.h"

namespace {

// Strict decimal with any number of leading zeros, or -1. Past the zeros,
// more than nine digits are too many to add up: LONG_MAX.
long strict_decimal(const char *text) {
    const size_t len = strlen(text);
    if (len == 0 || strspn(text, "0123456789") != len) return -1;
    text += strspn(text, "0");
    return strlen(text) > 9 ? LONG_MAX : strtol(text, nullptr, 10);
}

int has_arg(int argc, char **argv, const char *a, const char *b) {
    for (int i = 1; i < argc; ++i)
        if (!strcmp(argv[i], a) || !strcmp(argv[i], b)) return 1;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // Each argument in an allocation of its own, so reading past one is caught.
    std::vector<std::vector<char>> words(1, std::vector<char>{'k', 'e', 'l', 'm', '\0'});
    for (size_t start = 0; size > 0 && start <= size;) {
        const uint8_t *end = (const uint8_t *)memchr(data + start, 0, size - start);
        const size_t stop = end ? (size_t)(end - data) : size;
        words.emplace_back(data + start, data + stop);
        words.back().push_back('\0');
        start = stop + 1;
    }
    std::vector<char *> argv;
    for (auto &w : words) argv.push_back(w.data());
    const int argc = (int)argv.size();
    argv.push_back(nullptr);

    CliArgs args;
    std::string error;
    const ArgsOutcome outcome = parse_args(argc, argv.data(), &args, &error);
    FUZZ_CHECK(outcome == ARGS_RUN || outcome == ARGS_HELP || outcome == ARGS_VERSION || outcome == ARGS_USAGE);
    FUZZ_CHECK((outcome == ARGS_USAGE) == !error.empty());
    FUZZ_CHECK(outcome != ARGS_VERSION || !strcmp(argv[1], "--version"));
    FUZZ_CHECK(outcome != ARGS_HELP || has_arg(argc, argv.data(), "--help", "-h"));
    if (outcome != ARGS_RUN) return 0;

    FUZZ_CHECK(!strcmp(argv[1], args.identify ? "identify" : "patch"));
    if (args.identify)
        FUZZ_CHECK(!args.files.empty() && !args.fps_given && !args.music_fix && !args.backup);
    else
        FUZZ_CHECK(args.files.size() == 1 && (args.fps_given || args.music_fix));
    // Files are argv's own strings, in their order, never the command.
    for (size_t k = 0, j = 2; k < args.files.size(); ++k, ++j) {
        while (j < (size_t)argc && argv[j] != args.files[k]) ++j;
        FUZZ_CHECK(j < (size_t)argc);
    }

    if (args.fps_given) {
        // The limit came from a strict decimal value of an --fps option.
        FUZZ_CHECK(args.fps >= 1 && args.fps <= 255);
        int found = 0;
        for (int i = 2; i < argc && !found; ++i)
            found = (!strcmp(argv[i], "--fps") && i + 1 < argc && strict_decimal(argv[i + 1]) == args.fps) ||
                    (!strncmp(argv[i], "--fps=", 6) && strict_decimal(argv[i] + 6) == args.fps);
        FUZZ_CHECK(found);
    }
    return 0;
}
