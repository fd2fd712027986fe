// kelm-patch: the command-line front end of the patch engine, for scripts and
// headless use. It identifies and patches through the same code as the patcher
// window; only the way it reports differs.
//
// Exit codes: 0 done; 1 a file was refused (unsupported, changed, no fix for its
// edition, backup exists); 2 usage error; 3 I/O failure (the file is restored).
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "cli/args.h"
#include "patch/json.h"
#include "patch/catalogue.h"
#include "patch/identify.h"
#include "patch/patch.h"

namespace {

enum { EXIT_DONE = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2, EXIT_IO = 3 };

const char kUsage[] =
    "Usage: kelm-patch identify [--json] FILE...\n"
    "       kelm-patch patch [--fps N] [--music-fix] [--backup] [--json] FILE\n"
    "       kelm-patch --help | --version\n"
    "\n"
    "Fixes the frame-rate limit and the music loop of the DOS game\n"
    "\"Quelmor: Thornmere\" in its main executable, in place.\n"
    "\n"
    "Commands:\n"
    "  identify      tell which supported edition each FILE is, whether it is\n"
    "                unmodified, its frame-rate limit and its music-fix state\n"
    "  patch         write a new frame-rate limit and/or the music-loop fix\n"
    "\n"
    "Options:\n"
    "  --fps N       frame-rate limit to write, 1 to 255 (30 or less is\n"
    "                recommended under DOSBox); without it the limit is kept\n"
    "  --music-fix   write the music-loop fix (v1.1 CD-ROM and v1.1 Floppy only)\n"
    "  --backup      copy FILE to FILE.bak first (never overwrites a .bak)\n"
    "  --json        print one JSON object per file instead of text\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 file refused, 2 usage error, 3 I/O failure\n"
    "(the file is left as it was).\n";

__attribute__((format(printf, 2, 3))) int fail(int code, const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    fputs("kelm-patch: ", stderr);
    vfprintf(stderr, fmt, args);
    fputc('\n', stderr);
    va_end(args);
    return code;
}

std::string utf8_path(const char *path) {
    std::vector<char> out(strlen(path) * 3 + 1);
    path_to_utf8(path, out.data(), out.size());
    return out.data();
}

// The GUI's identification, told as one line per file.
int identify_command(const std::vector<const char *> &files, int json) {
    int refused = 0;
    for (const char *path : files) {
        IdentifyResult r;
        identify_file(path, &r);
        if (r.supported && r.fps_byte < 0) {
            r.supported = 0;
            snprintf(r.error, sizeof r.error, "cannot read its frame-rate byte");
        }
        if (!r.supported) refused = 1;
        if (json) {
            JsonLine line;
            json_begin(&line, stdout);
            json_string(&line, "path", utf8_path(path).c_str());
            json_bool(&line, "supported", r.supported);
            if (r.supported) {
                json_int(&line, "profile", r.profile);
                json_string(&line, "edition", kExeProfiles[r.profile].edition_name);
                json_bool(&line, "unmodified", r.unmodified);
                json_string(&line, "status", r.status);
                if (r.md5_ok)
                    json_string(&line, "md5", r.md5);
                else
                    json_null(&line, "md5");
                json_int(&line, "fps_limit", r.fps_byte);
                json_string(&line, "music_fix", music_fix_state_name(r.music_fix));
            } else {
                json_string(&line, "error", r.error);
            }
            json_end(&line);
        } else if (r.supported) {
            printf("%s: %s, FPS limit %d, music fix %s\n", path, r.status, r.fps_byte,
                   music_fix_state_name(r.music_fix));
        } else {
            printf("%s: unsupported: %s\n", path, r.error);
        }
    }
    fflush(stdout);
    return refused ? EXIT_REFUSED : EXIT_DONE;
}

// Copies `path` to a new `backup`; 0 or an errno. A partial copy is removed.
// The copy and its folder entry are on the disk before this returns: the
// original is changed next, and a backup that a power cut can take away
// with the change is no backup.
int copy_to_new_file(const char *path, const char *backup) {
    FILE *in = open_regular_file(path, "rb");
    if (!in) return errno_or_eio();
    errno = 0;
    FILE *out = create_new_file(backup);
    if (!out) {
        int err = errno_or_eio();
        fclose(in);
        return err;
    }
    int err = 0;
    char block[64 * 1024];
    size_t got;
    while (!err && (got = fread(block, 1, sizeof block, in)) > 0)
        if (fwrite(block, 1, got, out) != got) err = errno_or_eio();
    if (!err && ferror(in)) err = errno_or_eio();
    if (!err && fflush(out) != 0) err = errno_or_eio();
    if (!err) err = sync_file(out);
    if (fclose(out) != 0 && !err) err = errno_or_eio();
    fclose(in);
    if (!err) err = sync_folder_of(backup);
    if (err) remove(backup);
    return err;
}

int patch_command(const char *path, int fps_given, int fps, int music_fix, int backup, int json) {
    IdentifyResult r;
    identify_file(path, &r);
    if (!r.supported) return fail(EXIT_REFUSED, "%s: not a supported executable: %s", path, r.error);
    if (r.fps_byte < 0) return fail(EXIT_IO, "%s: cannot read its frame-rate byte", path);
    const char *edition = kExeProfiles[r.profile].edition_name;
    if (music_fix && r.music_fix == MUSIC_FIX_UNAVAILABLE)
        return fail(EXIT_REFUSED, "%s: the %s has no music-loop fix; nothing was written", path, edition);

    std::string backup_path;
    if (backup) {
        backup_path = std::string(path) + ".bak";
        int err = copy_to_new_file(path, backup_path.c_str());
        if (err == EEXIST)
            return fail(EXIT_REFUSED, "%s: %s already exists; not overwriting it, nothing was written", path,
                        backup_path.c_str());
        if (err)
            return fail(EXIT_IO, "%s: cannot make the backup %s: %s; nothing was written", path,
                        backup_path.c_str(), error_text(err));
    }

    PatchSettings settings = {fps_given ? fps : r.fps_byte, music_fix, 0};
    PatchOutcome outcome;
    switch (patch_file(path, r.profile, &settings, &outcome)) {
    case PATCH_DONE: break;
    case PATCH_FILE_CHANGED:
    case PATCH_NO_PROFILE:
        return fail(EXIT_REFUSED, "%s: %s; nothing was written", path, outcome.error);
    case PATCH_NOT_OPENED:
        return fail(EXIT_IO, "%s: %s; nothing was written", path, outcome.error);
    case PATCH_BUSY:
    case PATCH_IO_FAILED:
    case PATCH_IO_FAILED_UNRESTORED: {
        // The engine's message is made for the popup: one line here.
        std::string text = outcome.error;
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
        return fail(EXIT_IO, "%s: %s", path, text.c_str());
    }
    }

    MusicFixState fix_state = music_fix ? MUSIC_FIX_APPLIED : r.music_fix;
    if (json) {
        JsonLine line;
        json_begin(&line, stdout);
        json_string(&line, "path", utf8_path(path).c_str());
        json_int(&line, "profile", r.profile);
        json_int(&line, "fps_limit", settings.fps_limit);
        json_string(&line, "music_fix", music_fix_state_name(fix_state));
        json_int(&line, "changed_bytes", outcome.changed_bytes);
        json_end(&line);
    } else {
        printf("%s: patched %s, FPS limit %d, music fix %s, %d byte%s changed%s%s\n", path, edition,
               settings.fps_limit, music_fix_state_name(fix_state), outcome.changed_bytes,
               outcome.changed_bytes == 1 ? "" : "s", backup ? "; backup in " : "",
               backup ? backup_path.c_str() : "");
    }
    fflush(stdout);
    return EXIT_DONE;
}

}  // namespace

int main(int argc, char **argv) {
    confine_library_search();
    console_binary_output();
    CliArgs args;
    std::string error;
    switch (parse_args(argc, argv, &args, &error)) {
    case ARGS_HELP:
        fputs(kUsage, stdout);
        return EXIT_DONE;
    case ARGS_VERSION:
        printf("kelm-patch %s (Quelmor: Kelm patcher build %s)\n", KELM_VERSION, KELM_BUILD);
        return EXIT_DONE;
    case ARGS_USAGE:
        fprintf(stderr, "kelm-patch: %s (see 'kelm-patch --help')\n", error.c_str());
        return EXIT_USAGE;
    case ARGS_RUN: break;
    }
    if (args.identify) return identify_command(args.files, args.json);
    return patch_command(args.files[0], args.fps_given, args.fps, args.music_fix, args.backup, args.json);
}
