#include "patch/patch.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "patch/identify.h"

namespace {

// One contiguous run of bytes to replace.
struct Span {
    long offset;
    size_t length;
    const uint8_t *replacement;
    uint8_t original[256];
    const char *what;   // for messages: "writing the frame-rate limit"
};

int file_still_matches(const FileIo *io, FILE *file, const ExeProfile *row) {
    if (io->seek(file, 0, SEEK_END) != 0) return 0;
    long size = ftell(file);
    if (size < 0 || (uint64_t)size != row->file_size) return 0;
    return file_has_probe(io, file, row);
}

// Puts the original bytes back through a fresh handle: the failed one may hold
// buffered bytes that its close pushes out first. Put back means on the disk,
// as for the patch itself. Returns 0 or an errno.
int restore(const char *path, const FileIo *io, const Span *spans, size_t count) {
    errno = 0;
    FILE *file = io->open(path, "rb+");
    if (!file) return errno_or_eio();
    int err = 0;
    for (size_t i = 0; i < count && !err; ++i)
        err = write_at(io, file, spans[i].offset, spans[i].original, spans[i].length);
    if (!err && io->flush(file) != 0) err = errno_or_eio();
    if (!err) err = io->sync(file);
    if (io->close(file) != 0 && !err) err = errno_or_eio();
    return err;
}

__attribute__((format(printf, 3, 4))) PatchStatus fail(PatchOutcome *out, PatchStatus status, const char *fmt,
                                                       ...) {
    out->status = status;
    va_list args;
    va_start(args, fmt);
    vsnprintf(out->error, sizeof out->error, fmt, args);
    va_end(args);
    return status;
}

}  // namespace

PatchStatus patch_file(const char *path, uint8_t profile, const PatchSettings *settings, PatchOutcome *out,
                       const Catalogue *catalogue, const FileIo *io) {
    out->changed_bytes = 0;
    out->error_code = 0;
    out->error[0] = '\0';
    if (profile >= catalogue->profile_count)
        return fail(out, PATCH_NO_PROFILE, "no supported executable is selected");
    const ExeProfile *row = &catalogue->profiles[profile];

    errno = 0;
    FILE *file = io->open(path, "rb+");
    if (!file) {
        out->error_code = errno_or_eio();
        return fail(out, PATCH_NOT_OPENED, "cannot open the file for writing: %s", error_text(out->error_code));
    }
    if (!file_still_matches(io, file, row)) {
        io->close(file);
        return fail(out, PATCH_FILE_CHANGED, "the file is no longer the %s that was identified",
                    row->edition_name);
    }

    const uint8_t fps = (uint8_t)(settings->fps_limit & 0xFF);
    Span spans[2];
    size_t count = 0;
    spans[count++] = Span{row->fps_offset, 1, &fps, {0}, "writing the frame-rate limit"};
    const MusicFix *fix = settings->music_fix == 1 ? music_fix_for(catalogue, profile) : nullptr;
    if (fix) spans[count++] = Span{fix->offset, fix->length, fix->bytes, {0}, "writing the music-loop fix"};

    for (size_t i = 0; i < count; ++i) {
        int err = read_at(io, file, spans[i].offset, spans[i].original, spans[i].length);
        if (err) {
            io->close(file);
            return fail(out, PATCH_IO_FAILED,
                        "Quelmor: Kelm executable could not be patched:\r\nreading the bytes to replace: "
                        "%s\r\nThe file was left as it was.",
                        error_text(err));
        }
    }

    // The frame-rate byte first, then the fix; then make sure it all reached
    // the file, and the file the disk: until then "Success" would be a promise
    // that a power cut can break.
    int err = 0;
    const char *step = "";
    for (size_t i = 0; i < count && !err; ++i) {
        err = write_at(io, file, spans[i].offset, spans[i].replacement, spans[i].length);
        step = spans[i].what;
    }
    if (!err && io->flush(file) != 0) {
        err = errno_or_eio();
        step = "saving the file";
    }
    if (!err && (err = io->sync(file)) != 0) step = "saving the file to disk";
    int close_failed = io->close(file) != 0;
    if (!err && close_failed) {
        err = errno_or_eio();
        step = "closing the file";
    }

    if (err) {
        char why[200];
        snprintf(why, sizeof why, "%s: %s", step, error_text(err));
        int restore_err = restore(path, io, spans, count);
        if (restore_err)
            return fail(out, PATCH_IO_FAILED_UNRESTORED,
                        "Quelmor: Kelm executable could not be patched:\r\n%s\r\n"
                        "Its original bytes could not be put back either (%s);\r\n"
                        "restore the file from a copy before playing.",
                        why, error_text(restore_err));
        return fail(out, PATCH_IO_FAILED,
                    "Quelmor: Kelm executable could not be patched:\r\n%s\r\nThe file was left as it was.", why);
    }

    for (size_t i = 0; i < count; ++i)
        for (size_t j = 0; j < spans[i].length; ++j)
            out->changed_bytes += spans[i].original[j] != spans[i].replacement[j];
    out->status = PATCH_DONE;
    return PATCH_DONE;
}
