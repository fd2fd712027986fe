// The patcher window's two records of state: the selected file with the
// settings to patch it with, and the one pending message. The panel shows and
// edits them; the window's actions (ui/actions.h) fill them from the engine.
#pragma once

#include <stdint.h>

#include "patch/identify.h"

enum {
    PATCHER_PATH_SIZE = 256,    // 255 bytes of path and the terminator
    PATCHER_STATUS_SIZE = IDENTIFY_STATUS_SIZE,
    MESSAGE_TITLE_SIZE = 256,
    MESSAGE_TEXT_SIZE = 4096,
};

enum { MESSAGE_KIND_ERROR = 0, MESSAGE_KIND_INFO = 1 };

// The frame-rate limit's range, and the size of its text field: three
// characters and the terminator.
enum { FPS_LIMIT_MIN = 1, FPS_LIMIT_MAX = 255, FPS_TEXT_SIZE = 4 };

struct PatcherState {
    char path[PATCHER_PATH_SIZE];   // chosen file (ANSI code page bytes) or the prompt
    int32_t path_len;               // strlen(path); Nuklear's edit-field length type
    uint8_t profile;                // 0..6 or NO_PROFILE
    int32_t fps_limit;              // Nuklear's slider type; only the low byte reaches a file
    char status[PATCHER_STATUS_SIZE];
    int32_t music_fix;              // 1: write the music-loop fix
};

struct MessagePopup {
    int32_t visible;
    uint32_t kind;                  // MESSAGE_KIND_*
    char title[MESSAGE_TITLE_SIZE];
    char text[MESSAGE_TEXT_SIZE];
};

// The window's caption, and the page's title: the name and the build number.
extern const char kPatcherTitle[];   // in English
// In the language shown, formatted anew at each call.
const char *patcher_title(void);

// The program's single instances, owned by the start-up code.
extern PatcherState patcher_state;
extern MessagePopup message_popup;

void patcher_state_init(PatcherState *state);

// The limit that `text`, as typed into the frame-rate field, sets: read the way
// atoi reads (leading digits, an optional sign, 0 when there are none) and kept
// only within FPS_LIMIT_MIN..FPS_LIMIT_MAX; anything else leaves `current`.
int32_t fps_limit_from_text(const char *text, int32_t current);

// The slider's rule: any value is held within FPS_LIMIT_MIN..FPS_LIMIT_MAX.
int32_t fps_limit_clamped(int32_t value);

// Whether the music-fix box can be ticked for the selected edition, and its
// label: only editions with a fix get the short one.
int music_fix_available(uint8_t profile);
const char *music_fix_label(uint8_t profile);

// Replaces whatever message was pending. Texts longer than the buffers are cut
// at the buffer's end (none of the program's own texts comes close).
void queue_message(MessagePopup *popup, uint32_t kind, const char *title, const char *text);
