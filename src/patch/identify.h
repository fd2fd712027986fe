// Identification: which supported edition a file is, whether it is still as
// shipped, and which frame-rate limit it holds.
#pragma once

#include <stdint.h>

#include "patch/catalogue.h"
#include "patch/digest.h"
#include "patch/fileio.h"
#include "patch/state.h"

enum MusicFixState {
    MUSIC_FIX_UNAVAILABLE,   // the edition has no music-loop fix
    MUSIC_FIX_ABSENT,        // it has one, and the file does not hold its bytes
    MUSIC_FIX_APPLIED,       // the fix bytes are already in the file
};

struct IdentifyResult {
    int supported;               // 1: `profile` is a catalogue row
    uint8_t profile;             // row index, or NO_PROFILE
    int md5_ok;                  // 1: `md5` holds the file's digest
    char md5[DIGEST_SIZE];
    int unmodified;              // digest equals the row's
    int fps_byte;                // the frame-rate byte, -1 when it could not be read
    MusicFixState music_fix;
    char status[PATCHER_STATUS_SIZE];   // "Unmodified "/"Modified " + edition name
    char error[320];             // why an unsupported file was refused
};

// Identifies `path` against `catalogue`. Returns `out->supported`. Never leaves a
// file open and never blocks on special files.
int identify_file(const char *path, IdentifyResult *out, const Catalogue *catalogue = &kCatalogue,
                  const FileIo *io = &kStdioFileIo);

// Identifies the file whose path the caller has copied into patcher_state.path,
// and updates patcher_state, digest and, for a refused file, message_popup.
void identify_exe(const char *path);

// What "Browse" does with the chooser's result: copies it into patcher_state and
// identifies it. A path that does not fit the path buffer is refused with its
// own message; nothing is cut.
void select_file(const char *chosen);

const char *music_fix_state_name(MusicFixState state);
