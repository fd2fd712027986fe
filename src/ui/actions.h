// What the patcher window's buttons do: "Browse" hands the chosen path to
// select_file, "Patch" calls apply_patch. Both work on patcher_state and queue
// their outcome in message_popup, over the engine's identify_file and
// patch_file, as the command line does.
#pragma once

#include "patch/fileio.h"
#include "ui/state.h"

// The file access the actions go through: kStdioFileIo unless a test swaps it.
extern const FileIo *actions_io;

// Copies the chooser's result into patcher_state and identifies it. A path that
// does not fit the path buffer is refused with its own message; nothing is cut.
void select_file(const char *chosen);

// Identifies the file whose path the caller has copied into patcher_state.path,
// and updates patcher_state, digest and, for a refused file, message_popup.
void identify_exe(const char *path);

// Patches patcher_state's file with its settings and queues the outcome.
void apply_patch(void);

// "Info": queues the information message.
void show_information(void);

// Something dropped that is no local file: queues the refusal.
void refuse_drop(void);

// The chosen file could be read, but not written back (`reason` says why, in
// the words of whatever refused it): queues the same message as a file that
// cannot be opened for writing.
void report_not_writable(const char *reason);
