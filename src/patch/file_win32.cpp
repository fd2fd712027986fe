// File services for Windows. Paths are ANSI code-page byte strings, handed to
// the C runtime unchanged. Both programs' manifests make that code page UTF-8
// (Windows 10 1903 and later), so any path reaches the file functions intact;
// older Windows keep their legacy code page and the programs work as before.
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include "patch/fileio.h"

FILE *open_regular_file(const char *path, const char *mode) {
    struct _stat64 st;
    if (_stat64(path, &st) != 0) return nullptr;
    if ((st.st_mode & _S_IFMT) != _S_IFREG) {
        // Device names such as CON or COM1 would otherwise open and block on read.
        errno = (st.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : ENOTSUP;
        return nullptr;
    }
    FILE *file = fopen(path, mode);
    if (!file) return nullptr;
    if (GetFileType((HANDLE)_get_osfhandle(_fileno(file))) != FILE_TYPE_DISK) {
        fclose(file);
        errno = ENOTSUP;
        return nullptr;
    }
    return file;
}

// The errno closest to a Windows error, for messages and for the engine's
// checks; what has no closer match is an I/O error.
static int errno_from(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
    }
}

int sync_file(FILE *file) {
    return FlushFileBuffers((HANDLE)_get_osfhandle(_fileno(file))) ? 0 : errno_from(GetLastError());
}

// Not the file's bytes: Windows enforces a lock on them against every other
// handle, so that another patcher, the window or the game could not even read
// the file during a patch. One byte far past the end of any file instead,
// which only those who ask for it see, as flock on POSIX.
int try_lock_file(FILE *file) {
    OVERLAPPED lock_byte = {};
    lock_byte.Offset = 0xFFFFFFFE;
    lock_byte.OffsetHigh = 0x7FFFFFFF;
    if (LockFileEx((HANDLE)_get_osfhandle(_fileno(file)), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                   0, &lock_byte))
        return 0;
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return EWOULDBLOCK;
    // A network file system that keeps no locks: see file_posix.cpp.
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return 0;
    return errno_from(error);
}

// A folder opens for flushing only with backup privileges; NTFS records the
// new entry in its journal, and FlushFileBuffers on the new file has already
// written that file's own metadata.
int sync_folder_of(const char *) { return 0; }

void path_to_utf8(const char *path, char *out, size_t size) {
    if (!size) return;
    out[0] = '\0';
    int wide_len = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (wide_len <= 0) return;
    wchar_t *wide = (wchar_t *)malloc(sizeof(wchar_t) * (size_t)wide_len);
    if (!wide) return;
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, wide_len);
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, (int)size, nullptr, nullptr);
    if (n <= 0) {
        // Too long for `out`: convert into a scratch buffer and cut at a character start.
        int need = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        char *full = need > 0 ? (char *)malloc((size_t)need) : nullptr;
        if (full) {
            WideCharToMultiByte(CP_UTF8, 0, wide, -1, full, need, nullptr, nullptr);
            size_t cut = size - 1;
            while (cut > 0 && ((unsigned char)full[cut] & 0xC0) == 0x80) --cut;
            memcpy(out, full, cut);
            out[cut] = '\0';
            free(full);
        }
    }
    free(wide);
}

void confine_library_search(void) {
    // Windows 7 without KB2533623 lacks the call: it is looked up, and there
    // the current folder at least leaves the search.
    typedef BOOL(WINAPI * DefaultDirectories)(DWORD);
    DefaultDirectories set_default = (DefaultDirectories)(void (*)(void))GetProcAddress(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (!set_default || !set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

void *system_library(const wchar_t *name) {
    HMODULE module = LoadLibraryExW(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A Windows that does not know the flag: the full path says the same.
    wchar_t path[MAX_PATH];
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + wcslen(name) >= MAX_PATH) return NULL;
    path[length] = L'\\';
    wcscpy(path + length + 1, name);
    return LoadLibraryW(path);
}

static UINT console_code_page;

static void restore_console_code_page(void) { SetConsoleOutputCP(console_code_page); }

void console_binary_output(void) {
    // Same bytes on every platform: no "\r" slipped in before each "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Paths are printed as the file functions take them, in the ANSI code
    // page: where that is UTF-8 the console must read UTF-8 too. The console
    // belongs to the shell as well, so its code page is given back at exit.
    // Without a console (output to a file or a pipe) there is nothing to set.
    if (GetACP() == CP_UTF8 && (console_code_page = GetConsoleOutputCP()) != 0 && console_code_page != CP_UTF8 &&
        SetConsoleOutputCP(CP_UTF8))
        atexit(restore_console_code_page);
}

