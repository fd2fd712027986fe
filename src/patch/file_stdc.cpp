// Size, new-file creation and a second stream on an open file over the C
// library's stat, open and dup, the same calls by the same names on Linux and
// Windows; the flags that only one of them knows mean nothing to the other.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "patch/fileio.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif

int64_t file_size_of(const char *path, int *regular) {
#ifdef _WIN32
    struct _stat64 st;   // the plain stat's size is 32 bits there
    const int failed = _stat64(path, &st);
#else
    struct stat st;
    const int failed = stat(path, &st);
#endif
    *regular = 0;
    if (failed) return -1;
    *regular = (st.st_mode & S_IFMT) == S_IFREG;
    return (int64_t)st.st_size;
}

FILE *create_new_file(const char *path, FILE *like) {
    // The original's permission bits, set-user-ID and kin left off as cp
    // leaves them: a copy of a file only its owner may read must not be
    // readable by all. Windows has read and write bits only.
#ifdef _WIN32
    struct _stat64 st;
    const int failed = _fstat64(_fileno(like), &st);
    const int mode = st.st_mode & (_S_IREAD | _S_IWRITE);
#else
    struct stat st;
    const int failed = fstat(fileno(like), &st);
    const mode_t mode = st.st_mode & 0777;
#endif
    if (failed) return nullptr;
    // O_EXCL: neither an existing file nor a link, dangling or not, is opened.
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_BINARY | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) return nullptr;
    FILE *file = nullptr;
#ifndef _WIN32
    // The umask may have taken some of them away; the original has them.
    if (fchmod(fd, mode) == 0)
#endif
        file = fdopen(fd, "wb");
    if (!file) {
        int err = errno;
        close(fd);
        unlink(path);
        errno = err;
    }
    return file;
}

// The duplicate shares the open file (on Windows the file object), and with
// it the lock, which flock and LockFileEx both tie to it.
FILE *reopen_file(FILE *file) {
#ifdef F_DUPFD_CLOEXEC
    int fd = fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
#else
    int fd = dup(fileno(file));
#endif
    if (fd < 0) return nullptr;
    FILE *again = fdopen(fd, "rb+");
    if (!again) {
        int err = errno;
        close(fd);
        errno = err;
    }
    return again;
}
