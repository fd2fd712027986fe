// The platform's file dialog, a host service: the panel's "Browse" calls it.
// One implementation per platform (win32/chooser.cpp, gtk/chooser.cpp).
#pragma once

struct HostWindow;

// Shows the open dialog (bit 0 of `open` set) or the save dialog, with an
// optional filter in the platform's format (null for none). Returns the chosen
// path as the file system spells it (ANSI code page on Windows, bytes on
// Linux), or null when cancelled or failed. `host`'s record keeps the result
// until the next call; callers copy it and never free it.
const char *choose_file(struct HostWindow *host, unsigned open, const char *filter);
