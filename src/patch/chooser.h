// The platform's open-file dialog.
#pragma once

// Shows the open dialog (bit 0 of `open` set) or the save dialog, with an
// optional filter in the platform's format (null for none). Returns the chosen
// path (ANSI code page on Windows), or null when cancelled or failed. The
// chooser owns the result until its next call; callers copy it and never free it.
const char *choose_file(unsigned open, const char *filter);
