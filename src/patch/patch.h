// The patch writer: stores a frame-rate limit, and the music-loop fix where the
// edition has one, into an identified executable, in place. No backup: the
// command line makes one itself when asked.
//
// Nothing is written unless the file still has the selected edition's size and
// version text, checked under an exclusive lock that no other patcher gets
// until the new bytes are synced; only the bytes asked for are written. Every
// seek, read, write, flush, sync and close is checked; when one fails after the
// file was opened, the bytes that were there are put back, under the same lock.
// PATCH_DONE only once the new bytes are synced to the disk. A write never
// lengthens the file: the size is checked right before each one.
#pragma once

#include <stdint.h>

#include "patch/catalogue.h"
#include "patch/fileio.h"
#include "patch/identify.h"

struct PatchSettings {
    int32_t fps_limit;    // only the low byte is written
    int music_fix;        // 1: write the fix too (ignored for editions without one)
    int keep_fps_limit;   // 1: leave the file's limit as it is; fps_limit is not used
};

enum PatchStatus {
    PATCH_DONE,
    PATCH_NO_PROFILE,          // nothing identified: nothing opened, nothing written
    PATCH_NOT_OPENED,          // the file cannot be opened for update or locked: nothing written
    PATCH_FILE_CHANGED,        // size or version text no longer match: nothing written
    PATCH_IO_FAILED,           // a step failed; the file is as it was
    PATCH_IO_FAILED_UNRESTORED,  // a step failed and the old bytes could not be put back
    PATCH_BUSY,                // another program kept the file locked: nothing written
};

struct PatchOutcome {
    PatchStatus status;
    int changed_bytes;        // bytes whose value the patch changed (0 unless PATCH_DONE)
    int fps_limit;            // with PATCH_DONE: the limit the file holds now
    MusicFixState music_fix;  // with PATCH_DONE: the state of the fix in the file now
    int error_code;           // the errno behind PATCH_NOT_OPENED, else 0
    char error[1024];         // what failed and why, for every status but PATCH_DONE
};

PatchStatus patch_file(const char *path, uint8_t profile, const PatchSettings *settings, PatchOutcome *out,
                       const Catalogue *catalogue = &kCatalogue, const FileIo *io = &kStdioFileIo);
