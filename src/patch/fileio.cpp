#include "patch/fileio.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

// The C runtimes' file calls go by the same names on both platforms; the flags
// that only one of them knows mean nothing to the other.
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

FILE *create_new_file(const char *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_BINARY | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return nullptr;
    FILE *file = fdopen(fd, "wb");
    if (!file) {
        int err = errno;
        close(fd);
        unlink(path);
        errno = err;
    }
    return file;
}

const char *error_text(int err) { return err == ENOTSUP ? "Not a regular file" : strerror(err); }

const FileIo kStdioFileIo = {open_regular_file, fseek, fread, fwrite, fflush, fclose};

int errno_or_eio(void) { return errno ? errno : EIO; }

int read_at(const FileIo *io, FILE *file, long offset, void *buffer, size_t size) {
    errno = 0;
    if (io->seek(file, offset, SEEK_SET) != 0) return errno_or_eio();
    if (io->read(buffer, 1, size, file) != size) {
        // End of file is not an errno condition: say what it is.
        return ferror(file) ? errno_or_eio() : EIO;
    }
    return 0;
}

int write_at(const FileIo *io, FILE *file, long offset, const void *buffer, size_t size) {
    errno = 0;
    if (io->seek(file, offset, SEEK_SET) != 0) return errno_or_eio();
    if (io->write(buffer, 1, size, file) != size) return errno_or_eio();
    return 0;
}
