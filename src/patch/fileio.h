// How the engine reaches files. Two layers:
//  - a few file services: opening a regular file, path and console handling
//    with one implementation per platform (file_posix.cpp, file_win32.cpp,
//    chosen at link time), and size, new-file creation and error text written
//    once over the C library (fileio.cpp);
//  - FileIo, the table of stdio-shaped calls that identification and the patch
//    writer go through. Production code always uses kStdioFileIo; tests hand in
//    a table that fails on purpose, since overwriting bytes in place never meets
//    a full disk and permission bits stop nothing for root.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Opens `path` with an fopen mode ("rb", "rb+") only if it is a regular file.
// Never blocks on FIFOs, devices or other special files: those fail with errno
// set (ENOTSUP for "not a regular file"). Returns null on failure.
FILE *open_regular_file(const char *path, const char *mode);

// Size of `path` in bytes, -1 when it cannot be examined (errno set). `regular`
// receives whether it is a regular file. Follows links; a dangling link fails.
int64_t file_size_of(const char *path, int *regular);

// Creates `path` for binary writing only if it does not exist yet (for
// backups), never through a link, with the permission bits of the open file
// `like` (the original of the copy).
FILE *create_new_file(const char *path, FILE *like);

// Pushes what was written to `file` (after fflush) through to the storage
// device, so that a power cut cannot undo it: fsync on POSIX, FlushFileBuffers
// on Windows. 0 or an errno.
int sync_file(FILE *file);

// Makes the folder entry of `path`, a file just created, as durable as its
// bytes (fsync of the folder on POSIX). 0 or an errno.
int sync_folder_of(const char *path);

// How long lock_file waits for another patcher to finish with a file.
enum { FILE_LOCK_WAIT_MS = 3000 };

// Takes the exclusive lock that patchers take on a file they change (flock on
// POSIX, LockFileEx on Windows), waiting up to FILE_LOCK_WAIT_MS while another
// holds it. The lock goes with the last stream on the open file. 0, or
// EWOULDBLOCK when it was still held at the end of the wait, or another errno.
// A file system that keeps no locks at all lets every caller through.
int lock_file(FILE *file);
// One attempt, without waiting: 0, EWOULDBLOCK, or another errno.
int try_lock_file(FILE *file);

// A second stream, for update, on the open file behind `file`: the same file
// whatever has become of its path since, and under the same lock, which
// holds until both streams are closed. Null on failure (errno set).
FILE *reopen_file(FILE *file);

// Writes `path` (the platform's file-name encoding: ANSI code page on Windows,
// bytes on Linux) as UTF-8 into `out`, replacing what cannot be converted with
// U+FFFD. Always terminated; cut at a character boundary if `size` is too small.
void path_to_utf8(const char *path, char *out, size_t size);

// The first call of every program: DLLs load from the system's own folder
// only, never from the program's folder or the current one, where anyone
// may have put a DLL of the same name (Windows; elsewhere nothing to do).
void confine_library_search(void);

#ifdef _WIN32
// A system DLL loaded from the system's folder, whatever search order the
// process has (an HMODULE; null when it cannot be loaded).
void *system_library(const wchar_t *name);
#endif

// Makes stdout and stderr write bytes unchanged (no newline translation).
void console_binary_output(void);

// Text of the platform's error number, for messages.
const char *error_text(int err);

struct FileIo {
    FILE *(*open)(const char *path, const char *mode);
    int (*lock)(FILE *file);       // as lock_file
    FILE *(*reopen)(FILE *file);   // as reopen_file
    int (*seek)(FILE *file, long offset, int origin);
    size_t (*read)(void *buffer, size_t size, size_t count, FILE *file);
    size_t (*write)(const void *buffer, size_t size, size_t count, FILE *file);
    int (*flush)(FILE *file);
    int (*sync)(FILE *file);   // 0 or an errno, as sync_file
    int (*close)(FILE *file);
};

extern const FileIo kStdioFileIo;

// errno after a failed stdio call, or EIO where the call left none: stdio does
// not promise errno on a short read or write, and a failure must never read as
// "Success".
int errno_or_eio(void);

// Reads exactly `size` bytes at `offset` through `io`; 0 on success, else an errno.
int read_at(const FileIo *io, FILE *file, long offset, void *buffer, size_t size);
// Writes exactly `size` bytes at `offset` through `io`; 0 on success, else an errno.
int write_at(const FileIo *io, FILE *file, long offset, const void *buffer, size_t size);
