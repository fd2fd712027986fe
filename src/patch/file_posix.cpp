// File services for Linux and other POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

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

static int sync_descriptor(int fd) {
    while (fsync(fd) != 0)
        if (errno != EINTR) return errno;
    return 0;
}

int sync_file(FILE *file) { return sync_descriptor(fileno(file)); }

int sync_folder_of(const char *path) {
    const char *slash = strrchr(path, '/');
    const std::string folder = !slash ? "." : slash == path ? "/" : std::string(path, (size_t)(slash - path));
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = sync_descriptor(fd);
    close(fd);
    // EINVAL: a file system that keeps no folder to sync (some network and
    // FUSE mounts); the file's own fsync is all there is to have there.
    return err == EINVAL ? 0 : err;
}

// flock, not fcntl: its lock belongs to the open file, so the other handles
// this process opens and closes on the same file (the digest, a restore) can
// never drop it, as closing any of them drops a process's fcntl locks.
int try_lock_file(FILE *file) {
    while (flock(fileno(file), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        // No locks on this file system (an NFS mount without its lock
        // service, some FUSE mounts): patchers cannot keep each other out
        // there, and the patch still checks the file right before writing.
        if (errno == ENOLCK || errno == EOPNOTSUPP) return 0;
        return errno;
    }
    return 0;
}

// Linux file names are bytes, UTF-8 by convention.
void path_to_utf8(const char *path, char *out, size_t size) { utf8_sanitize(path, out, size); }

void console_binary_output(void) {}

void confine_library_search(void) {}

