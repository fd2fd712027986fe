#include "patch/fileio.h"

#include <errno.h>
#include <string.h>

#include "lang/lang.h"

#include <chrono>
#include <thread>

const char *error_text(int err) { return err == ENOTSUP ? _("Not a regular file") : strerror(err); }

const FileIo kStdioFileIo = {open_regular_file, lock_file, reopen_file, fseek,    fread,
                             fwrite,            fflush,    sync_file,   fclose};

int lock_file(FILE *file) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(FILE_LOCK_WAIT_MS);
    for (;;) {
        int err = try_lock_file(file);
        if (err != EWOULDBLOCK || steady_clock::now() >= deadline) return err;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

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
