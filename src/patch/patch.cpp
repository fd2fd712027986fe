#include "patch/patch.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "lang/lang.h"
#include "patch/text.h"

namespace {

// One contiguous run of bytes to replace.
struct Span {
    long offset;
    size_t length;
    const uint8_t *replacement;
    uint8_t original[256];
    const char *what;   // for messages, untranslated: "writing the frame-rate limit"
};

// In place of an errno: the file's size changed during the patch. No lock
// keeps out a program that is no patcher (on POSIX none at all), and a file
// cut short or lengthened meanwhile is no longer the edition that was checked.
const int kSizeChanged = -1;

const char *reason(int err) { return err == kSizeChanged ? _("the file changed size meanwhile") : error_text(err); }

// The open file's size now, or -1 with `*err` set.
long size_now(const FileIo *io, FILE *file, int *err) {
    errno = 0;
    long size = io->seek(file, 0, SEEK_END) == 0 ? ftell(file) : -1;
    if (size < 0) *err = errno_or_eio();
    return size;
}

int file_still_matches(const FileIo *io, FILE *file, const ExeProfile *row) {
    int err = 0;
    const long size = size_now(io, file, &err);
    return size >= 0 && (uint64_t)size == row->file_size && file_has_probe(io, file, row);
}

// Writes one run in place, only where the file still reaches: a write past its
// end would lengthen a file that another program cut short meanwhile, leave a
// hole in it, and count as done.
int write_in_place(const FileIo *io, FILE *file, const Span *span, const uint8_t *bytes) {
    int err = 0;
    const long size = size_now(io, file, &err);
    if (size < 0) return err;
    if ((uint64_t)size < (uint64_t)span->offset + span->length) return kSizeChanged;
    return write_at(io, file, span->offset, bytes, span->length);
}

// Puts the original bytes of `count` runs back, on the disk, and closes
// `file`. `file` is the failed stream's spare (same open file, same lock);
// without one, the path is opened and locked again. Returns 0 or an errno.
int restore(const char *path, const FileIo *io, FILE *file, const Span *spans, size_t count) {
    int err = 0;
    if (!file) {
        errno = 0;
        if (!(file = io->open(path, "rb+"))) return errno_or_eio();
        err = io->lock(file);
    }
    for (size_t i = 0; i < count && !err; ++i) err = write_in_place(io, file, &spans[i], spans[i].original);
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
    mend_cut(out->error, sizeof out->error, vsnprintf(out->error, sizeof out->error, fmt, args));
    va_end(args);
    return status;
}

}  // namespace

PatchStatus patch_file(const char *path, uint8_t profile, const PatchSettings *settings, PatchOutcome *out,
                       const Catalogue *catalogue, const FileIo *io) {
    out->changed_bytes = 0;
    out->fps_limit = -1;
    out->music_fix = MUSIC_FIX_UNAVAILABLE;
    out->error_code = 0;
    out->error[0] = '\0';
    if (profile >= catalogue->profile_count)
        return fail(out, PATCH_NO_PROFILE, _("no supported executable is selected"));
    const ExeProfile *row = &catalogue->profiles[profile];

    errno = 0;
    FILE *file = io->open(path, "rb+");
    if (!file) {
        out->error_code = errno_or_eio();
        return fail(out, PATCH_NOT_OPENED, _("cannot open the file for writing: %s"), error_text(out->error_code));
    }
    // Held from the check to the sync: two patchers at once would each check,
    // and write over what the other had just written.
    int err = io->lock(file);
    if (err) {
        io->close(file);
        if (err == EWOULDBLOCK)
            return fail(out, PATCH_BUSY,
                        _("Quelmor: Kelm executable could not be patched:\r\nanother program is changing it.\r\n"
                        "The file was left as it was; try again in a moment."));
        out->error_code = err;
        return fail(out, PATCH_NOT_OPENED, _("cannot lock the file: %s"), error_text(err));
    }
    if (!file_still_matches(io, file, row)) {
        io->close(file);
        return fail(out, PATCH_FILE_CHANGED, _("the file is no longer the %s that was identified"),
                    _(row->edition_name));
    }

    // Only what was asked for: a limit that is kept is not written back, for
    // it may no longer be the one the caller read.
    const uint8_t fps = (uint8_t)(settings->fps_limit & 0xFF);
    Span spans[2];
    size_t count = 0;
    if (!settings->keep_fps_limit)
        spans[count++] = Span{row->fps_offset, 1, &fps, {0}, N_("writing the frame-rate limit")};
    const MusicFix *fix = music_fix_for(catalogue, profile);
    const int fix_asked = fix && settings->music_fix == 1;
    if (fix_asked) spans[count++] = Span{fix->offset, fix->length, fix->bytes, {0}, N_("writing the music-loop fix")};

    uint8_t kept = fps;
    for (size_t i = 0; i < count && !err; ++i)
        err = read_at(io, file, spans[i].offset, spans[i].original, spans[i].length);
    if (!err && settings->keep_fps_limit) err = read_at(io, file, row->fps_offset, &kept, 1);
    if (err) {
        io->close(file);
        return fail(out, PATCH_IO_FAILED,
                    _("Quelmor: Kelm executable could not be patched:\r\nreading the bytes to replace: "
                    "%s\r\nThe file was left as it was."),
                    error_text(err));
    }
    const MusicFixState fix_state = fix_asked ? MUSIC_FIX_APPLIED : music_fix_state_of(io, file, fix);

    // The frame-rate byte first, then the fix; then make sure it all reached
    // the file, and the file the disk: until then "Success" would be a promise
    // that a power cut can break.
    const char *step = "";
    size_t begun = 0;   // runs whose write was started, and so must be put back
    while (!err && begun < count) {
        step = _(spans[begun].what);
        err = write_in_place(io, file, &spans[begun], spans[begun].replacement);
        if (err != kSizeChanged) ++begun;
    }
    if (!err && io->flush(file) != 0) {
        err = errno_or_eio();
        step = _("saving the file");
    }
    // A file whose size changed since the writes were checked has had bytes
    // written past where it ended: nothing can say what it was any more.
    int whole = 1;
    if (!err) {
        const long size = size_now(io, file, &err);
        if (size >= 0 && (uint64_t)size != row->file_size) {
            err = kSizeChanged;
            whole = 0;
        }
        if (err) step = _("saving the file");
    }
    if (!err && (err = io->sync(file)) != 0) step = _("saving the file to disk");
    // The spare keeps the lock while the failed stream closes, pushing out
    // whatever it still held, before the original bytes go back.
    FILE *spare = err ? io->reopen(file) : nullptr;
    const int close_failed = io->close(file) != 0;
    if (!err && close_failed) {
        err = errno_or_eio();
        step = _("closing the file");
    }

    if (err) {
        char why[512];
        // TRANSLATORS: a step of the patch ("saving the file") and why it failed.
        mend_cut(why, sizeof why, snprintf(why, sizeof why, _("%s: %s"), step, reason(err)));
        int restore_err = restore(path, io, spare, spans, begun);
        if (!restore_err && !whole) restore_err = kSizeChanged;
        if (restore_err)
            return fail(out, PATCH_IO_FAILED_UNRESTORED,
                        _("Quelmor: Kelm executable could not be patched:\r\n%s\r\n"
                        "Its original bytes could not be put back either (%s);\r\n"
                        "restore the file from a copy before playing."),
                        why, reason(restore_err));
        return fail(out, PATCH_IO_FAILED,
                    _("Quelmor: Kelm executable could not be patched:\r\n%s\r\nThe file was left as it was."), why);
    }

    for (size_t i = 0; i < count; ++i)
        for (size_t j = 0; j < spans[i].length; ++j)
            out->changed_bytes += spans[i].original[j] != spans[i].replacement[j];
    out->fps_limit = kept;
    out->music_fix = fix_state;
    out->status = PATCH_DONE;
    return PATCH_DONE;
}
