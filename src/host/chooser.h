// The platform's file dialog, a host service: the panel's "Browse" calls it.
// One implementation per platform (win32/chooser.cpp, gtk/chooser.cpp). Files
// dropped on the window come through here too, taken by the panel each frame;
// each platform's window catches the drop, and host_common.cpp hands it over.
#pragma once

struct HostWindow;

// Shows the open dialog (bit 0 of `open` set) or the save dialog, with an
// optional filter in the platform's format (null for none). Returns the chosen
// path as the file system spells it (ANSI code page on Windows, bytes on
// Linux), or null when cancelled or failed. `host`'s record keeps the result
// until the next call; callers copy it and never free it.
const char *choose_file(struct HostWindow *host, unsigned open, const char *filter);

// A file dropped on the window: the other way to choose one. Several dropped
// at once count as the first.
enum { HOST_DROP_NONE = 0, HOST_DROP_FILE = 1, HOST_DROP_REFUSED = 2 };

// What was dropped since the last call. HOST_DROP_FILE sets `path`, kept like
// choose_file's result (until the next call of either); HOST_DROP_REFUSED
// means something that is no local file was dropped (a web link, text).
int take_dropped_file(struct HostWindow *host, const char **path);
