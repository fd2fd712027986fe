// The patcher's fixed knowledge of the game: the seven supported editions of the
// "Quelmor: Thornmere" main executable, the two music-loop fixes, and the texts
// the patcher shows about them. Constant data; nothing here changes at run time.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One supported edition. Offsets are 32-bit signed, the range fseek's `long`
// takes on every platform we build for.
struct ExeProfile {
    uint64_t file_size;        // exact size of the unmodified executable
    const char *md5_hex;       // MD5 of the unmodified executable, 32 lower-case hex digits
    int32_t probe_offset;      // where the version text sits
    const char *probe_text;    // version text; the zero byte after it takes part in the match
    int32_t fps_offset;        // the one-byte frame-rate limit
    const char *edition_name;  // display name
};

// The music-loop fix of one edition: bytes written verbatim at `offset`.
struct MusicFix {
    uint8_t profile;
    int32_t offset;
    uint8_t length;
    const uint8_t *bytes;
};

enum {
    EXE_PROFILE_COUNT = 7,
    NO_PROFILE = 100,          // no supported executable selected; never a valid index
    DEFAULT_FPS_LIMIT = 96,    // the limit shown while no file is selected
};

extern const ExeProfile kExeProfiles[EXE_PROFILE_COUNT];
extern const MusicFix kMusicFixes[2];

// The editions and fixes the engine works against. Everything uses kCatalogue;
// tests substitute their own to reach paths that need a matching MD5.
struct Catalogue {
    const ExeProfile *profiles;
    size_t profile_count;
    const MusicFix *fixes;
    size_t fix_count;
};
extern const Catalogue kCatalogue;

// The fix of `profile`, or null: only profiles 0 and 1 have one.
const MusicFix *music_fix_for(const Catalogue *catalogue, uint8_t profile);

// Texts shown to the user, exactly as the patcher has always shown them.
extern const char kPathPrompt[];          // path field while no supported file is selected
extern const char kSupportedEditions[];   // the list of supported editions
extern const char kMusicFixLabelShort[];
extern const char kMusicFixLabelLong[];
extern const char kLabelBrowse[];
extern const char kLabelFpsLimit[];       // beside the frame-rate field
extern const char kLabelInfo[];
extern const char kLabelCredit[];
extern const char kLabelPatch[];
extern const char kLabelOk[];             // dismisses the popup

extern const char kTitleUnsupported[];
extern const char kTitleInformation[];
extern const char kTextInformation[];
extern const char kTitleSuccess[];
extern const char kTextSuccess[];
extern const char kTitleReadingError[];
extern const char kTextReadingError[];
extern const char kTitlePatchFailed[];
extern const char kTitlePathTooLong[];
extern const char kTextNotWritable[];
extern const char kTextFileChanged[];
extern const char kTextPathTooLong[];
extern const char kTitleDropRefused[];
extern const char kTextDropRefused[];
