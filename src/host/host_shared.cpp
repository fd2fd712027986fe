// What every host does the same way: the key table, pasting, and keeping
// Nuklear's font alive.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "host/chooser.h"
#include "host/host_shared.h"
#include "host/input.h"
#include "ui/access.h"

int host_input_key(struct nk_context *ctx, enum HostKey key, int ctrl, int down) {
    switch (key) {
    case HOST_KEY_BACKSPACE: nk_input_key(ctx, NK_KEY_BACKSPACE, down); return 1;
    case HOST_KEY_TAB: nk_input_key(ctx, NK_KEY_TAB, down); return 1;
    case HOST_KEY_ENTER: nk_input_key(ctx, NK_KEY_ENTER, down); return 1;
    case HOST_KEY_SHIFT: nk_input_key(ctx, NK_KEY_SHIFT, down); return 1;
    case HOST_KEY_PAGE_UP: nk_input_key(ctx, NK_KEY_SCROLL_UP, down); return 1;
    case HOST_KEY_PAGE_DOWN: nk_input_key(ctx, NK_KEY_SCROLL_DOWN, down); return 1;
    case HOST_KEY_END:
        nk_input_key(ctx, NK_KEY_TEXT_END, down);
        nk_input_key(ctx, NK_KEY_SCROLL_END, down);
        return 1;
    case HOST_KEY_HOME:
        nk_input_key(ctx, NK_KEY_TEXT_START, down);
        nk_input_key(ctx, NK_KEY_SCROLL_START, down);
        return 1;
    case HOST_KEY_LEFT: nk_input_key(ctx, ctrl ? NK_KEY_TEXT_WORD_LEFT : NK_KEY_LEFT, down); return 1;
    case HOST_KEY_RIGHT: nk_input_key(ctx, ctrl ? NK_KEY_TEXT_WORD_RIGHT : NK_KEY_RIGHT, down); return 1;
    case HOST_KEY_DELETE: nk_input_key(ctx, NK_KEY_DEL, down); return 1;
    default: break;
    }
    if (!ctrl) return 0;
    switch (key) {
    case HOST_KEY_C: nk_input_key(ctx, NK_KEY_COPY, down); return 1;
    case HOST_KEY_R: nk_input_key(ctx, NK_KEY_TEXT_REDO, down); return 1;
    case HOST_KEY_V: nk_input_key(ctx, NK_KEY_PASTE, down); return 1;
    case HOST_KEY_X: nk_input_key(ctx, NK_KEY_CUT, down); return 1;
    case HOST_KEY_Z: nk_input_key(ctx, NK_KEY_TEXT_UNDO, down); return 1;
    default: return 0;
    }
}

int host_panel_key(enum HostKey key, int ctrl, int shift) {
    if (ctrl) return key == HOST_KEY_O ? access_key(ACCESS_KEY_OPEN, shift) : 0;
    switch (key) {
    case HOST_KEY_TAB: return access_key(ACCESS_KEY_TAB, shift);
    case HOST_KEY_ENTER: return access_key(ACCESS_KEY_ENTER, shift);
    case HOST_KEY_SPACE: return access_key(ACCESS_KEY_SPACE, shift);
    case HOST_KEY_ESCAPE: return access_key(ACCESS_KEY_ESCAPE, shift);
    case HOST_KEY_LEFT: return access_key(ACCESS_KEY_LEFT, shift);
    case HOST_KEY_RIGHT: return access_key(ACCESS_KEY_RIGHT, shift);
    case HOST_KEY_UP: return access_key(ACCESS_KEY_UP, shift);
    case HOST_KEY_DOWN: return access_key(ACCESS_KEY_DOWN, shift);
    case HOST_KEY_PAGE_UP: return access_key(ACCESS_KEY_PAGE_UP, shift);
    case HOST_KEY_PAGE_DOWN: return access_key(ACCESS_KEY_PAGE_DOWN, shift);
    case HOST_KEY_HOME: return access_key(ACCESS_KEY_HOME, shift);
    case HOST_KEY_END: return access_key(ACCESS_KEY_END, shift);
    default: return 0;
    }
}

void host_paste_utf8(struct nk_text_edit *edit, const char *utf8, int bytes) {
    if (!utf8 || bytes <= 0) return;
    nk_textedit_paste(edit, utf8, nk_utf_len(utf8, bytes));
}

void host_use_font(struct nk_context *ctx, HostShared *shared, struct nk_user_font *font, HostFontRelease release) {
    if (!font) return;
    nk_style_set_font(ctx, font);
    if (shared->nuklear_font && shared->nuklear_font != font) release(shared->nuklear_font);
    shared->nuklear_font = font;
}

void host_logical_position(const HostShared *shared, double x, double y, double per_logical, int *out_x, int *out_y) {
    const bool stretched = shared->output_width > 0 && shared->output_height > 0 &&
                           (shared->output_width != shared->logical_width ||
                            shared->output_height != shared->logical_height) &&
                           shared->mode != HOST_MODE_WINDOWED;
    if (stretched) {
        x = x * shared->logical_width / shared->output_width;
        y = y * shared->logical_height / shared->output_height;
    } else if (per_logical > 0) {
        x /= per_logical;
        y /= per_logical;
    }
    *out_x = (int)floor(x);
    *out_y = (int)floor(y);
}

void host_drop_file(HostShared *shared, const char *path) {
    free(shared->dropped_path);
    shared->dropped_path = path ? strdup(path) : NULL;
    // Without memory for the path the drop is told as refused, not lost.
    shared->drop_refused = shared->dropped_path == NULL;
}

int host_take_drop(HostShared *shared, const char **path) {
    *path = NULL;
    if (shared->dropped_path) {
        free(shared->chosen_path);
        shared->chosen_path = shared->dropped_path;
        shared->dropped_path = NULL;
        *path = shared->chosen_path;
        return HOST_DROP_FILE;
    }
    if (!shared->drop_refused) return HOST_DROP_NONE;
    shared->drop_refused = 0;
    return HOST_DROP_REFUSED;
}

void host_release_shared(HostShared *shared, struct nk_user_font *current, HostFontRelease release) {
    if (shared->nuklear_font && shared->nuklear_font != current) release(shared->nuklear_font);
    shared->nuklear_font = NULL;
    if (current) release(current);
    free(shared->chosen_path);
    shared->chosen_path = NULL;
    free(shared->dropped_path);
    shared->dropped_path = NULL;
}
