// kelm-patch: the command-line front end of the patch engine, for scripts and
// headless use. It identifies and patches through the same code as the patcher
// window; only the way it reports differs.
//
// Results go to stdout, one line (or JSON object) per file. A file refused or
// failed gets one line on stderr, and with --json an object with its error on
// stdout too, so that a script gets one object for every file it named.
//
// Exit codes: 0 done; 1 a file was refused (unsupported, changed, held by
// another program, no fix for its edition, backup exists); 2 usage error;
// 3 I/O failure: a file that cannot be found, read or written (it is left as
// it was), or output that cannot be written.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#ifdef KELM_TEST_HOOKS
#include <chrono>
#include <thread>
#endif

#include "cli/args.h"
#include "lang/lang.h"
#include "patch/catalogue.h"
#include "patch/identify.h"
#include "patch/json.h"
#include "patch/patch.h"
#include "patch/utf8.h"

namespace {

// Ordered by weight: over several files the heaviest is the exit code.
enum { EXIT_DONE = 0, EXIT_REFUSED = 1, EXIT_USAGE = 2, EXIT_IO = 3 };

// TRANSLATORS: keep the command and option names, FILE and N as they are,
// and every line within 80 columns.
const char kUsage[] = N_(
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
    "  --json        print one JSON object per file instead of text, for a\n"
    "                refused file too\n"
    "  --help        show this help and exit\n"
    "  --version     show the version and exit\n"
    "\n"
    "Results go to standard output; refusals and failures, one line each, to\n"
    "standard error.\n"
    "Exit status: 0 done, 1 file refused, 2 usage error, 3 I/O failure (a file\n"
    "that cannot be read or written, left as it was; or output that cannot be\n"
    "written).\n");

// Where a terminal would take a character for a command, or a line would end.
bool unsafe_at(const char *s, size_t len) {
    const unsigned char c = (unsigned char)s[0];
    if (len == 0) return true;   // not UTF-8
    if (len == 1) return c < 0x20 || c == 0x7F;
    return len == 2 && c == 0xC2 && (unsigned char)s[1] < 0xA0;   // C1 controls, U+0080 to U+009F
}

// A file name as the text output shows it: control characters and bytes that
// are not UTF-8 as \xHH, so that no name sends a terminal escape sequences or
// breaks "one line per file". A name that needs that has its backslashes
// doubled too, so that it reads back exactly; any other name is shown as it
// is (Windows paths keep their separators).
std::string shown(const char *name) {
    bool plain = true;
    for (const char *s = name; *s && plain;) {
        const size_t len = utf8_sequence_length(s);
        plain = !unsafe_at(s, len);
        s += len;
    }
    if (plain) return name;
    std::string out;
    for (const char *s = name; *s;) {
        const size_t len = utf8_sequence_length(s);
        if (unsafe_at(s, len)) {
            for (size_t i = 0; i < std::max(len, (size_t)1); ++i) {
                char hex[5];
                snprintf(hex, sizeof hex, "\\x%02x", (unsigned char)s[i]);
                out += hex;
            }
        } else {
            out.append(*s == '\\' ? "\\\\" : std::string(s, len));
        }
        s += std::max(len, (size_t)1);
    }
    return out;
}

std::string utf8_path(const char *path) {
    std::vector<char> out(strlen(path) * 3 + 1);
    path_to_utf8(path, out.data(), out.size());
    return out.data();
}

// "path", and where the name is not UTF-8, so that "path" had to replace some
// of it, its exact bytes in "path_bytes" (hex): names that differ only there
// stay apart.
void json_path(JsonLine *line, const char *path) {
    json_string(line, "path", utf8_path(path).c_str());
    bool valid = true;
    for (const char *s = path; *s && valid;) {
        const size_t len = utf8_sequence_length(s);
        valid = len != 0;
        s += len;
    }
    if (valid) return;
    std::string hex;
    for (const unsigned char *s = (const unsigned char *)path; *s; ++s) {
        char pair[3];
        snprintf(pair, sizeof pair, "%02x", *s);
        hex += pair;
    }
    json_string(line, "path_bytes", hex.c_str());
}

// Whether a line ends in a stop, colon, semicolon or comma: ASCII, or the
// full-width ones of Chinese and Japanese.
bool ends_in_punctuation(const char *line, size_t n) {
    if (strchr(":;,.", line[n - 1])) return true;
    for (const char *mark : {"\u3002", "\u3001", "\uff1a", "\uff1b", "\uff0c", "\uff0e"}) {
        const size_t len = strlen(mark);
        if (n >= len && memcmp(line + n - len, mark, len) == 0) return true;
    }
    return false;
}

// The engine's messages are made for the popup, a clause a line. Here they
// take one line, each break becoming the punctuation it stood for.
std::string one_line(const char *message) {
    std::string out;
    for (const char *s = message;;) {
        const char *end = strstr(s, "\r\n");
        const size_t n = end ? (size_t)(end - s) : strlen(s);
        out.append(s, n);
        if (!end) return out;
        if (n && !ends_in_punctuation(s, n)) out += '.';
        out += ' ';
        s = end + 2;
    }
}

void tell(const char *path, const std::string &why) {
    fprintf(stderr, "kelm-patch: %s: %s\n", shown(path).c_str(), why.c_str());
}

// A patch that is not done: the line on stderr and, with --json, the file's
// object on stdout. Returns `code`.
int refuse(int code, const char *path, int json, const std::string &why) {
    tell(path, why);
    if (json) {
        JsonLine line;
        json_begin(&line, stdout);
        json_path(&line, path);
        json_string(&line, "error", why.c_str());
        json_end(&line);
    }
    return code;
}

#ifdef KELM_TEST_HOOKS
// Test builds only, never the released programs: KELM_TEST_PAUSE=POINT:FILE
// holds the run at POINT ("identified": before the patch; "locked": with the
// file's lock held) until FILE exists, having made FILE.paused to say so.
// The command line's test interleaves concurrent runs with it.
void pause_at(const char *point) {
    const char *setting = getenv("KELM_TEST_PAUSE");
    const size_t n = strlen(point);
    if (!setting || strncmp(setting, point, n) != 0 || setting[n] != ':') return;
    const std::string release = setting + n + 1;
    if (FILE *mark = fopen((release + ".paused").c_str(), "wb")) fclose(mark);
    // A test that fails before releasing the run must not leave it hanging.
    for (int waited = 0; waited < 60000; waited += 10) {
        if (FILE *go = fopen(release.c_str(), "rb")) {
            fclose(go);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int lock_then_pause(FILE *file) {
    const int err = lock_file(file);
    if (!err) pause_at("locked");
    return err;
}

const FileIo *patch_io() {
    static FileIo io = kStdioFileIo;
    io.lock = lock_then_pause;
    return &io;
}
#else
void pause_at(const char *) {}
const FileIo *patch_io() { return &kStdioFileIo; }
#endif

// The GUI's identification, told as one line per file.
int identify_command(const std::vector<const char *> &files, int json) {
    int code = EXIT_DONE;
    for (const char *path : files) {
        IdentifyResult r;
        identify_file(path, &r);
        int unreadable = r.error_code != 0;
        if (r.supported && r.fps_byte < 0) {
            r.supported = 0;
            unreadable = 1;
            snprintf(r.error, sizeof r.error, "%s", _("cannot read its frame-rate byte"));
        }
        if (json) {
            JsonLine line;
            json_begin(&line, stdout);
            json_path(&line, path);
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
            printf(_("%s: %s, FPS limit %d, music fix %s\n"), shown(path).c_str(), r.status, r.fps_byte,
                   _(music_fix_state_name(r.music_fix)));
        }
        if (!r.supported) {
            tell(path, unreadable ? std::string(r.error) : tr_format(_("unsupported: %s"), r.error));
            code = std::max(code, unreadable ? (int)EXIT_IO : (int)EXIT_REFUSED);
        }
    }
    return code;
}

// Copies `path` to a new `backup` with the original's permission bits. Only
// where the patch can go ahead: the original must open for writing, and it is
// read under the patchers' lock, so that the copy is never one caught in the
// middle of another patch. The copy and its folder entry are on the disk
// before this returns: the original is changed next, and a backup that a
// power cut can take away with the change is no backup. Returns 0, or the
// exit code with `why` set; nothing is left of a copy that failed.
int make_backup(const char *path, const char *backup, std::string *why) {
    errno = 0;
    FILE *in = open_regular_file(path, "rb+");
    if (!in) {
        *why = tr_format(_("cannot open the file for writing: %s; nothing was written"), error_text(errno_or_eio()));
        return EXIT_IO;
    }
    int err = lock_file(in);
    if (err) {
        fclose(in);
        if (err == EWOULDBLOCK) {
            *why = _("another program is changing it; nothing was written, try again in a moment");
            return EXIT_REFUSED;
        }
        *why = tr_format(_("cannot lock the file: %s; nothing was written"), error_text(err));
        return EXIT_IO;
    }
    errno = 0;
    FILE *out = create_new_file(backup, in);
    if (!out) {
        err = errno_or_eio();
        fclose(in);
        if (err == EEXIST) {
            *why = tr_format(_("%s already exists; not overwriting it, nothing was written"), shown(backup).c_str());
            return EXIT_REFUSED;
        }
        *why = tr_format(_("cannot make the backup %s: %s; nothing was written"), shown(backup).c_str(), error_text(err));
        return EXIT_IO;
    }
    char block[64 * 1024];
    size_t got;
    while (!err && (got = fread(block, 1, sizeof block, in)) > 0)
        if (fwrite(block, 1, got, out) != got) err = errno_or_eio();
    if (!err && ferror(in)) err = errno_or_eio();
    if (!err && fflush(out) != 0) err = errno_or_eio();
    if (!err) err = sync_file(out);
    if (fclose(out) != 0 && !err) err = errno_or_eio();
    if (!err) err = sync_folder_of(backup);
    fclose(in);
    if (!err) return 0;
    remove(backup);
    *why = tr_format(_("cannot make the backup %s: %s; nothing was written"), shown(backup).c_str(), error_text(err));
    return EXIT_IO;
}

int patch_command(const CliArgs &args) {
    const char *path = args.files[0];
    const int json = args.json;
    IdentifyResult r;
    identify_file(path, &r);
    if (!r.supported)
        return r.error_code ? refuse(EXIT_IO, path, json, r.error)
                            : refuse(EXIT_REFUSED, path, json, tr_format(_("not a supported executable: %s"), r.error));
    if (r.fps_byte < 0) return refuse(EXIT_IO, path, json, _("cannot read its frame-rate byte"));
    const char *edition = kExeProfiles[r.profile].edition_name;
    if (args.music_fix && r.music_fix == MUSIC_FIX_UNAVAILABLE)
        return refuse(EXIT_REFUSED, path, json,
                      tr_format(_("the %s has no music-loop fix; nothing was written"), _(edition)));
    pause_at("identified");

    const std::string backup = args.backup ? std::string(path) + ".bak" : std::string();
    if (args.backup) {
        std::string why;
        if (int code = make_backup(path, backup.c_str(), &why)) return refuse(code, path, json, why);
    }

    PatchSettings settings = {args.fps, args.music_fix, !args.fps_given};
    PatchOutcome outcome;
    const PatchStatus status = patch_file(path, r.profile, &settings, &outcome, &kCatalogue, patch_io());
    if (status != PATCH_DONE) {
        std::string why = one_line(outcome.error);
        if (status == PATCH_IO_FAILED_UNRESTORED) {
            // The backup is the one good copy left: it stays.
            if (args.backup) why += " " + tr_format(_("%s holds it as it was."), shown(backup.c_str()).c_str());
        } else if (args.backup && remove(backup.c_str()) != 0) {
            why += tr_format(_("; the backup %s made for it could not be removed: %s"), shown(backup.c_str()).c_str(),
                             error_text(errno_or_eio()));
        }
        switch (status) {
        case PATCH_FILE_CHANGED:
        case PATCH_NO_PROFILE: return refuse(EXIT_REFUSED, path, json, why + _("; nothing was written"));
        case PATCH_BUSY: return refuse(EXIT_REFUSED, path, json, why);
        case PATCH_NOT_OPENED: return refuse(EXIT_IO, path, json, why + _("; nothing was written"));
        default: return refuse(EXIT_IO, path, json, why);
        }
    }

    if (json) {
        JsonLine line;
        json_begin(&line, stdout);
        json_path(&line, path);
        json_int(&line, "profile", r.profile);
        json_int(&line, "fps_limit", outcome.fps_limit);
        json_string(&line, "music_fix", music_fix_state_name(outcome.music_fix));
        json_int(&line, "changed_bytes", outcome.changed_bytes);
        json_end(&line);
    } else {
        printf(trn("%s: patched %s, FPS limit %d, music fix %s, %d byte changed",
                   "%s: patched %s, FPS limit %d, music fix %s, %d bytes changed", (unsigned long)outcome.changed_bytes),
               shown(path).c_str(), _(edition), outcome.fps_limit, _(music_fix_state_name(outcome.music_fix)),
               outcome.changed_bytes);
        if (args.backup) printf(_("; backup in %s"), shown(backup.c_str()).c_str());
        putchar('\n');
    }
    return EXIT_DONE;
}

int run(int argc, char **argv) {
    CliArgs args;
    std::string error;
    switch (parse_args(argc, argv, &args, &error)) {
    case ARGS_HELP:
        fputs(_(kUsage), stdout);
        return EXIT_DONE;
    case ARGS_VERSION:
        printf(_("kelm-patch %s (Quelmor: Kelm patcher build %s)\n"), KELM_VERSION, KELM_BUILD);
        return EXIT_DONE;
    case ARGS_USAGE:
        fprintf(stderr, _("kelm-patch: %s (see 'kelm-patch --help')\n"), error.c_str());
        return EXIT_USAGE;
    case ARGS_RUN: break;
    }
    return args.identify ? identify_command(args.files, args.json) : patch_command(args);
}

// Output that did not reach its destination (a full disk, a closed pipe or
// descriptor) is a failure, and shows only once stdout is flushed and closed.
int finish_output(int code) {
    errno = 0;
    const int lost = ferror(stdout);
    if (fclose(stdout) == 0 && !lost) return code;
    fprintf(stderr, _("kelm-patch: cannot write the output: %s\n"), error_text(errno_or_eio()));
    return code == EXIT_USAGE ? code : EXIT_IO;
}

// With --json, everything stays as scripts have always read it: the objects
// and the lines on stderr alike are in English.
bool wants_json(int argc, char **argv) {
    for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i)
        if (!strcmp(argv[i], "--json")) return true;
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    confine_library_search();
    if (!wants_json(argc, argv)) lang_init();
    console_binary_output();
    return finish_output(run(argc, argv));
}
