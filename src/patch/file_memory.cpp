// File services over the one file held in memory (see file_memory.h). A
// stream opened on it is musl's fmemopen over the held bytes: reads see the
// file, writes land in it, and its size never changes.
#include "patch/file_memory.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "patch/fileio.h"
#include "patch/utf8.h"

namespace {

struct MemoryFile {
    char *name;
    unsigned char *bytes;
    size_t size;
} held;

bool is_held(const char *path) { return held.name && strcmp(held.name, path) == 0; }

}  // namespace

void memory_file_drop(void) {
    free(held.name);
    free(held.bytes);
    held = MemoryFile{};
}

void memory_file_put(const char *name, unsigned char *bytes, size_t size) {
    memory_file_drop();
    held = MemoryFile{strdup(name), bytes, size};
}

const unsigned char *memory_file_bytes(size_t *size) {
    *size = held.size;
    return held.bytes;
}

FILE *open_regular_file(const char *path, const char *mode) {
    if (!is_held(path)) {
        errno = ENOENT;
        return nullptr;
    }
    // fmemopen's "r+" neither truncates nor grows: an update in place. An
    // empty file does not open (EINVAL); no edition is empty.
    return fmemopen(held.bytes, held.size, strchr(mode, '+') ? "r+" : "r");
}

int64_t file_size_of(const char *path, int *regular) {
    *regular = 0;
    if (!is_held(path)) {
        errno = ENOENT;
        return -1;
    }
    *regular = 1;
    return (int64_t)held.size;
}

FILE *create_new_file(const char *, FILE *) {
    errno = ENOTSUP;   // the page makes no backups
    return nullptr;
}

// The held bytes are all there is of the file here: the page writes them to
// the user's file itself, through the browser, which offers no call to sync
// it. Nothing to do, and nothing that can fail.
int sync_file(FILE *) { return 0; }
int sync_folder_of(const char *) { return 0; }

// One page, one held copy, one patch at a time: no one else to keep out.
int try_lock_file(FILE *) { return 0; }

FILE *reopen_file(FILE *) { return open_regular_file(held.name, "rb+"); }

void path_to_utf8(const char *path, char *out, size_t size) { utf8_sanitize(path, out, size); }

void console_binary_output(void) {}

void confine_library_search(void) {}
