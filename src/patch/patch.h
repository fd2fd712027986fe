// The patch writer: stores a frame-rate limit, and the music-loop fix where the
// edition has one, into an identified executable, in place. No backup: the
// command line makes one itself when asked.
//
// Nothing is written unless the file still has the selected edition's size and
// version text. Every seek, read, write, flush, sync and close is checked; when
// one fails after the file was opened, the bytes that were there are put back.
// PATCH_DONE only once the new bytes are synced to the disk. The file's size
// never changes.
#pragma once

#include <stdint.h>

#include "patch/catalogue.h"
#include "patch/fileio.h"

struct PatchSettings {
    int32_t fps_limit;   // only the low byte is written
    int music_fix;       // 1: write the fix too (ignored for editions without one)
};

enum PatchStatus {
    PATCH_DONE,
    PATCH_NO_PROFILE,          // nothing identified: nothing opened, nothing written
    PATCH_NOT_OPENED,          // the file cannot be opened for update: nothing written
    PATCH_FILE_CHANGED,        // size or version text no longer match: nothing written
    PATCH_IO_FAILED,           // a step failed; the file is as it was
    PATCH_IO_FAILED_UNRESTORED,  // a step failed and the old bytes could not be put back
};

struct PatchOutcome {
    PatchStatus status;
    int changed_bytes;   // bytes whose value the patch changed (0 unless PATCH_DONE)
    int error_code;      // the errno behind PATCH_NOT_OPENED, else 0
    char error[512];     // what failed and why, for every status but PATCH_DONE
};

PatchStatus patch_file(const char *path, uint8_t profile, const PatchSettings *settings, PatchOutcome *out,
                       const Catalogue *catalogue = &kCatalogue, const FileIo *io = &kStdioFileIo);
