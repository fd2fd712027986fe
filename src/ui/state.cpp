#include "ui/state.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "patch/catalogue.h"
#include "patch/text.h"
#include "lang/lang.h"

const char kPatcherTitle[] = "Quelmor: Kelm patcher build " KELM_BUILD;

const char *patcher_title(void) {
    static char title[128];
    format_into(title, sizeof title, _("Quelmor: Kelm patcher build %s"), KELM_BUILD);
    return title;
}

PatcherState patcher_state;
MessagePopup message_popup;

void patcher_state_init(PatcherState *state) {
    copy_text(state->path, sizeof state->path, _(kPathPrompt));
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

int32_t fps_limit_from_text(const char *text, int32_t current) {
    // Three characters at most reach here, so atoi cannot overflow.
    int value = atoi(text);
    return value >= FPS_LIMIT_MIN && value <= FPS_LIMIT_MAX ? value : current;
}

int32_t fps_limit_clamped(int32_t value) {
    return value < FPS_LIMIT_MIN ? FPS_LIMIT_MIN : value > FPS_LIMIT_MAX ? FPS_LIMIT_MAX : value;
}

int music_fix_available(uint8_t profile) { return music_fix_for(&kCatalogue, profile) != nullptr; }

const char *music_fix_label(uint8_t profile) {
    return _(music_fix_available(profile) ? kMusicFixLabelShort : kMusicFixLabelLong);
}
