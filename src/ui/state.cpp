#include "ui/state.h"

#include <string.h>

#include "patch/catalogue.h"
#include "patch/text.h"

PatcherState patcher_state;
MessagePopup message_popup;

void patcher_state_init(PatcherState *state) {
    copy_text(state->path, sizeof state->path, kPathPrompt);
    state->path_len = (int32_t)strlen(state->path);
    state->profile = NO_PROFILE;
    state->fps_limit = DEFAULT_FPS_LIMIT;
    state->status[0] = '\0';
    state->music_fix = 0;
}

void queue_message(MessagePopup *popup, uint32_t kind, const char *title, const char *text) {
    popup->visible = 1;
    popup->kind = kind;
    copy_text(popup->title, sizeof popup->title, title);
    copy_text(popup->text, sizeof popup->text, text);
}
