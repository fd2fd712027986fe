// Identification: which supported edition a file is, whether it is still as
// shipped, and which frame-rate limit it holds.
//
// Contract: a file is an edition when its size is the row's and the row's
// version text, with its zero byte, sits at the row's probe offset; the MD5
// only tells "Unmodified" from "Modified". Reads only; never leaves a file open
// and never blocks on FIFOs or devices. Knows nothing of any window: the
// patcher window and the command line both build on identify_file.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include "patch/catalogue.h"
#include "patch/digest.h"
#include "patch/fileio.h"

// "Unmodified " and the longest edition name, with the terminator, in the
// longest translation in UTF-8 (about 80 bytes) with room to spare.
enum { IDENTIFY_STATUS_SIZE = 128 };

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
    char status[IDENTIFY_STATUS_SIZE];   // "Unmodified "/"Modified " + edition name
    char error[512];             // why an unsupported file was refused
    int error_code;              // the errno when it could not be examined or opened; 0 when
                                 // it was, and is no supported edition
};

// The status line of an identified file: "Unmodified "/"Modified " and the
// edition's name, in the language shown.
void identify_status(char *out, size_t size, const ExeProfile *row, int unmodified);

// Identifies `path` against `catalogue`. Returns `out->supported`. Never leaves a
// file open and never blocks on special files.
int identify_file(const char *path, IdentifyResult *out, const Catalogue *catalogue = &kCatalogue,
                  const FileIo *io = &kStdioFileIo);

// 1 when the open `file` holds `row`'s version text and its zero byte at the
// row's probe offset; a read that fails is no match.
int file_has_probe(const FileIo *io, FILE *file, const ExeProfile *row);

// Whether the open `file` holds `fix`'s bytes (null: the edition has none). A
// read that fails counts as absent.
MusicFixState music_fix_state_of(const FileIo *io, FILE *file, const MusicFix *fix);

const char *music_fix_state_name(MusicFixState state);
