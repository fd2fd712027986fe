// File services for Linux and other POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "patch/fileio.h"
#include "patch/utf8.h"

FILE *open_regular_file(const char *path, const char *mode) {
    int flags = strchr(mode, '+') ? O_RDWR : O_RDONLY;
    // O_NONBLOCK: opening a FIFO or a device must not wait for a peer.
    int fd = open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    int err = 0;
    if (fstat(fd, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
    if (err) {
        close(fd);
        errno = err;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE *file = fdopen(fd, mode);
    if (!file) {
        int err = errno;
        close(fd);
        errno = err;
    }
    return file;
}

// Linux file names are bytes, UTF-8 by convention.
void path_to_utf8(const char *path, char *out, size_t size) { utf8_sanitize(path, out, size); }

void console_binary_output(void) {}

void confine_library_search(void) {}

