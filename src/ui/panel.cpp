// The main panel: path and "Browse", status, frame-rate field and slider, the
// music-fix check box, and "Info", the credit line and "Patch". Everything that
// survives a frame lives in patcher_state.
#include <stdio.h>
#include <string.h>

#include "host/chooser.h"
#include "patch/catalogue.h"
#include "patch/fileio.h"
#include "ui/actions.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"

namespace {

// Nuklear keeps a pointer to the ratios while it lays out the row's cells.
float path_ratio[2] = {0.8f, 0.2f};

// The path as the field shows it. `path` holds file-system bytes (the ANSI code
// page on Windows) while Nuklear reads UTF-8, so the field gets a UTF-8 copy,
// remade only when the path changes; the file functions keep using `path`.
struct PathView {
    char source[PATCHER_PATH_SIZE];
    char text[PATCHER_PATH_SIZE * 3];
    int len;
} path_view;

void refresh_path_view(const char *path) {
    if (path_view.text[0] && strcmp(path_view.source, path) == 0) return;
    strcpy(path_view.source, path);
    path_to_utf8(path, path_view.text, sizeof path_view.text);
    path_view.len = (int)strlen(path_view.text);
}

}  // namespace

void declare_main_panel(struct nk_context *ctx, struct HostWindow *host, struct nk_image gear_image) {
    PatcherState *state = &patcher_state;

    nk_layout_row(ctx, NK_DYNAMIC, 30, 2, path_ratio);
    refresh_path_view(state->path);
    nk_edit_string(ctx, NK_EDIT_READ_ONLY, path_view.text, &path_view.len, (int)sizeof path_view.text,
                   nk_filter_default);
    if (nk_button_label(ctx, kLabelBrowse)) {
        const char *chosen = choose_file(host, 1, nullptr);
        if (chosen) select_file(chosen);
    }

    nk_layout_row_dynamic(ctx, 30, 1);
    int status_len = (int)strlen(state->status);
    nk_edit_string(ctx, NK_EDIT_READ_ONLY, state->status, &status_len, PATCHER_STATUS_SIZE, nk_filter_default);

    // The field and fps_limit are one value: the text is rebuilt from the limit
    // every frame, so an edit that does not read as 1..255 is undone next frame.
    char fps_text[10];
    int n = snprintf(fps_text, sizeof fps_text, "%d", (int)state->fps_limit);
    fps_text[n < (int)sizeof fps_text ? n : (int)sizeof fps_text - 1] = '\0';

    nk_layout_row_dynamic(ctx, 30, 2);
    nk_label(ctx, kLabelFpsLimit, NK_TEXT_RIGHT);
    nk_flags result =
        nk_edit_string_zero_terminated(ctx, NK_EDIT_ALWAYS_INSERT_MODE, fps_text, FPS_TEXT_SIZE, nk_filter_decimal);
    if (result) state->fps_limit = fps_limit_from_text(fps_text, state->fps_limit);

    // While the field has the focus the slider only shows the value.
    nk_layout_row_dynamic(ctx, 30, 1);
    if (result & (NK_EDIT_ACTIVE | NK_EDIT_ACTIVATED)) {
        int fps_shadow = state->fps_limit;
        nk_slider_int(ctx, FPS_LIMIT_MIN, &fps_shadow, FPS_LIMIT_MAX, 1);
    } else {
        nk_slider_int(ctx, FPS_LIMIT_MIN, &state->fps_limit, FPS_LIMIT_MAX, 1);
    }

    nk_layout_row_dynamic(ctx, 30, 1);
    nk_checkbox_label(ctx, music_fix_label(state->profile), &state->music_fix);
    // Only the v1.1 editions have a fix: elsewhere a click never sticks.
    if (!music_fix_available(state->profile)) state->music_fix = 0;

    nk_layout_row_dynamic(ctx, 30, 3);
    if (nk_button_label(ctx, kLabelInfo)) show_information();
    nk_label(ctx, kLabelCredit, NK_TEXT_CENTERED);
    if (nk_button_image_label(ctx, gear_image, kLabelPatch, NK_TEXT_CENTERED)) apply_patch();
}

void declare_popup(struct nk_context *ctx, const struct nk_image popup_icons[2]) {
    MessagePopup *popup = &message_popup;
    if (!nk_popup_begin(ctx, NK_POPUP_STATIC, popup->title, NK_WINDOW_TITLE, nk_rect(0, 10, 490, 203))) {
        popup->visible = 0;
        return;
    }
    nk_layout_row_begin(ctx, NK_STATIC, 48, 3);
    nk_layout_row_push(ctx, 48);
    nk_image(ctx, popup_icons[popup->kind == MESSAGE_KIND_INFO ? 1 : 0]);
    nk_layout_row_push(ctx, 5);
    nk_spacing(ctx, 1);
    // The text runs on below its 48-pixel cell, over the two empty rows.
    nk_layout_row_push(ctx, 402);
    nk_label_wrap(ctx, popup->text);
    nk_layout_row_end(ctx);

    nk_layout_row_dynamic(ctx, 25, 3);
    nk_layout_row_dynamic(ctx, 25, 3);
    nk_layout_row_dynamic(ctx, 25, 3);
    nk_spacing(ctx, 1);
    if (nk_button_label(ctx, kLabelOk)) {
        popup->visible = 0;
        nk_popup_close(ctx);
    }
    nk_popup_end(ctx);
}

// A dropped file is chosen as "Browse" chooses one. It is a new choice, so a
// message still open about the last one goes.
static void take_drop(struct HostWindow *host) {
    const char *dropped = nullptr;
    switch (take_dropped_file(host, &dropped)) {
    case HOST_DROP_FILE:
        message_popup.visible = 0;
        select_file(dropped);
        break;
    case HOST_DROP_REFUSED:
        refuse_drop();
        break;
    }
}

void patcher_frame(struct nk_context *ctx, struct HostWindow *host, const PatcherImages *images) {
    take_drop(host);
    if (nk_begin(ctx, "MainPanel", nk_rect(0, 0, PATCHER_WIDTH, PATCHER_HEIGHT), NK_WINDOW_NO_SCROLLBAR)) {
        declare_main_panel(ctx, host, images->gear_image);
        if (message_popup.visible) declare_popup(ctx, images->popup_icons);
    }
    nk_end(ctx);
}
