// What the fuzzers share: a check that turns a broken property into a crash
// libFuzzer records, the decoding of fuzz input into an executable-shaped file,
// and the real file that identification and patching work on.
//
// The engine is fuzzed on a real file with the real FileIo, not an in-memory
// table: identification asks the file system for the size and the digest by
// path, and the checks that a file is regular and unchanged are part of what
// is under test. The file lives in a private folder, on tmpfs when there is
// one, because every run rewrites a whole executable.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "patch/catalogue.h"

#define FUZZ_CHECK(cond)                                                        \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                            \
        }                                                                       \
    } while (0)

using Bytes = std::vector<uint8_t>;

// Vectors the fuzzers reuse from run to run and fill with memcpy: a fresh
// 630 KB allocation, and ASan's byte-wise memmove behind std::copy, would
// otherwise take most of each run.
inline void copy_into(Bytes *to, const uint8_t *from, size_t size) {
    to->resize(size);
    if (size) memcpy(to->data(), from, size);
}

// Input layout (fuzz/make_seeds.py writes the same):
//   byte 0  shape % 8 == 7: the rest of the input is the file as it stands.
//           Otherwise shape % 8 picks a catalogue row: the file is that row's
//           size, moved by one byte either way when (shape >> 3) % 4 is 1 or 2.
//   byte 1  bit 0: the row's version text and its zero byte at its probe offset;
//           bit 1: the row's music-fix bytes, where it has a fix.
//   then    edits of [anchor, signed offset, length, bytes...]; the anchor
//           (% 4) is the row's probe offset, its frame-rate offset, its fix's
//           offset (0 without one) or the end of the file.
// The filler holds no zero byte, so no version text ends by accident.
inline void decode_exe(const uint8_t *data, size_t size, Bytes *file) {
    if (size == 0 || data[0] % 8 == 7) {
        copy_into(file, data + (size > 0), size - (size > 0));
        return;
    }
    static Bytes filler;
    if (filler.empty()) {
        uint32_t x = 0x4b454c4d;
        filler.resize(1 << 20);
        for (auto &b : filler) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            b = (uint8_t)(x % 255 + 1);
        }
    }
    const uint8_t row_index = data[0] % 8;
    const ExeProfile &row = kExeProfiles[row_index];
    static const int kShift[4] = {0, -1, 1, 0};
    copy_into(file, filler.data(), (size_t)((long)row.file_size + kShift[(data[0] >> 3) % 4]));

    const uint8_t flags = size > 1 ? data[1] : 0;
    auto put = [file](long at, const uint8_t *bytes, size_t len) {
        for (size_t i = 0; i < len; ++i)
            if (at + (long)i >= 0 && at + (long)i < (long)file->size()) (*file)[at + i] = bytes[i];
    };
    const MusicFix *fix = music_fix_for(&kCatalogue, row_index);
    if (flags & 1) put(row.probe_offset, (const uint8_t *)row.probe_text, strlen(row.probe_text) + 1);
    if ((flags & 2) && fix) put(fix->offset, fix->bytes, fix->length);

    const long anchors[4] = {row.probe_offset, row.fps_offset, fix ? fix->offset : 0, (long)file->size()};
    for (size_t at = 2; at + 3 <= size;) {
        const long where = anchors[data[at] % 4] + (int8_t)data[at + 1];
        const size_t len = std::min<size_t>(data[at + 2], size - at - 3);
        put(where, data + at + 3, len);
        at += 3 + len;
    }
}

// The catalogue's rule over bytes in memory: the row whose size the file has
// and whose version text, with its zero byte, sits at its probe offset.
inline uint8_t expected_profile(const Bytes &file) {
    for (uint8_t i = 0; i < EXE_PROFILE_COUNT; ++i) {
        const ExeProfile &row = kExeProfiles[i];
        if (file.size() == row.file_size &&
            memcmp(&file[row.probe_offset], row.probe_text, strlen(row.probe_text) + 1) == 0)
            return i;
    }
    return NO_PROFILE;
}

// The one file a fuzzer process works on; its folder goes at exit.
inline const char *scratch_path() {
    struct Scratch {
        std::string dir, file;
        Scratch() {
            const char *base = getenv("TMPDIR");
            if (!base || !*base) base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
            std::string templ = std::string(base) + "/kelm-fuzz-XXXXXX";
            FUZZ_CHECK(mkdtemp(&templ[0]) != nullptr);
            dir = templ;
            file = dir + "/game.exe";
        }
        ~Scratch() {
            unlink(file.c_str());
            rmdir(dir.c_str());
        }
    };
    static Scratch scratch;
    return scratch.file.c_str();
}

inline void write_whole(const char *path, const Bytes &bytes) {
    FILE *f = fopen(path, "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    FUZZ_CHECK(fclose(f) == 0);
}

inline void read_whole(const char *path, Bytes *bytes) {
    FILE *f = fopen(path, "rb");
    FUZZ_CHECK(f && fseek(f, 0, SEEK_END) == 0);
    const long size = ftell(f);
    FUZZ_CHECK(size >= 0 && fseek(f, 0, SEEK_SET) == 0);
    bytes->resize((size_t)size);
    FUZZ_CHECK(fread(bytes->data(), 1, bytes->size(), f) == bytes->size());
    fclose(f);
}
