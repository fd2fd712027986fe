// Files held in memory, for the web page, where the engine cannot reach the
// user's files: the page reads the chosen file's bytes, hands them in under
// its name, and takes the patched bytes back. With these file services linked
// in place of a platform's, identification, the digest and the patch writer
// read and write the bytes through the same stdio calls as everywhere else.
//
// One file at a time: handing one in replaces whatever was held.
#pragma once

#include <stddef.h>

// Takes `bytes` (from malloc; the holder frees them) as the file `name`.
void memory_file_put(const char *name, unsigned char *bytes, size_t size);

// Forgets the held file: opening it then fails as for a file that is gone.
void memory_file_drop(void);

// The held file's bytes and size, or null when nothing is held.
const unsigned char *memory_file_bytes(size_t *size);
