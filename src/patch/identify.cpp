#include "patch/identify.h"

#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "lang/lang.h"
#include "patch/text.h"


// Longest probe text plus its terminator.
enum { PROBE_MAX = 32 };

int file_has_probe(const FileIo *io, FILE *file, const ExeProfile *row) {
    char probe[PROBE_MAX];
    const size_t len = strlen(row->probe_text) + 1;
    return len <= sizeof probe && read_at(io, file, row->probe_offset, probe, len) == 0 &&
           memcmp(probe, row->probe_text, len) == 0;
}

int identify_file(const char *path, IdentifyResult *out, const Catalogue *catalogue, const FileIo *io) {
    memset(out, 0, sizeof *out);
    out->profile = NO_PROFILE;
    out->fps_byte = -1;
    out->music_fix = MUSIC_FIX_UNAVAILABLE;

    int regular = 0;
    errno = 0;
    int64_t size = file_size_of(path, &regular);
    if (size < 0) {
        out->error_code = errno_or_eio();
        format_into(out->error, sizeof out->error, _("cannot examine the file: %s"), error_text(out->error_code));
        return 0;
    }
    if (!regular) {
        format_into(out->error, sizeof out->error, "%s", _("not a regular file"));
        return 0;
    }

    // Every row is tried, as the sizes alone already single out at most one.
    const ExeProfile *size_match = nullptr;
    int open_error = 0;
    for (size_t i = 0; i < catalogue->profile_count; ++i) {
        const ExeProfile *row = &catalogue->profiles[i];
        if ((uint64_t)size != row->file_size) continue;
        size_match = row;
        errno = 0;
        FILE *file = io->open(path, "rb");
        if (!file) {
            open_error = errno_or_eio();
            continue;
        }
        const int match = file_has_probe(io, file, row);
        io->close(file);
        if (match) out->profile = (uint8_t)i;
    }

    if (out->profile == NO_PROFILE) {
        if (!size_match)
            format_into(out->error, sizeof out->error,
                     trn("its size of %lld byte matches no supported edition",
                         "its size of %lld bytes matches no supported edition", (unsigned long)size),
                     (long long)size);
        else if ((out->error_code = open_error) != 0)
            format_into(out->error, sizeof out->error, _("cannot open the file: %s"), error_text(open_error));
        else
            format_into(out->error, sizeof out->error, _("its size matches the %s, but its version text does not"),
                     _(size_match->edition_name));
        return 0;
    }

    const ExeProfile *row = &catalogue->profiles[out->profile];
    out->supported = 1;
    out->md5_ok = file_md5_hex_to(path, out->md5) == 0;
    out->unmodified = out->md5_ok && strcmp(row->md5_hex, out->md5) == 0;
    identify_status(out->status, sizeof out->status, row, out->unmodified);

    const MusicFix *fix = music_fix_for(catalogue, out->profile);
    FILE *file = io->open(path, "rb");
    if (file) {
        unsigned char byte;
        if (read_at(io, file, row->fps_offset, &byte, 1) == 0) out->fps_byte = byte;
        out->music_fix = music_fix_state_of(io, file, fix);
        io->close(file);
    } else if (fix) {
        out->music_fix = MUSIC_FIX_ABSENT;
    }
    return 1;
}

void identify_status(char *out, size_t size, const ExeProfile *row, int unmodified) {
    format_into(out, size, unmodified ? _("Unmodified %s") : _("Modified %s"), _(row->edition_name));
}

MusicFixState music_fix_state_of(const FileIo *io, FILE *file, const MusicFix *fix) {
    if (!fix) return MUSIC_FIX_UNAVAILABLE;
    unsigned char bytes[256];   // a fix's length is a byte
    const int err = read_at(io, file, fix->offset, bytes, fix->length);
    return !err && memcmp(bytes, fix->bytes, fix->length) == 0 ? MUSIC_FIX_APPLIED : MUSIC_FIX_ABSENT;
}

const char *music_fix_state_name(MusicFixState state) {
    switch (state) {
    case MUSIC_FIX_APPLIED: return N_("applied");
    case MUSIC_FIX_ABSENT: return N_("absent");
    default: return N_("unavailable");
    }
}
