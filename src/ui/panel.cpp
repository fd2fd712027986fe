// The main panel: path and "Browse", status, frame-rate field and slider, the
// music-fix check box, and "Info", the credit line and "Patch". Everything that
// survives a frame lives in patcher_state.
#include <stdio.h>
#include <string.h>

#include "host/chooser.h"
#include "lang/lang.h"
#include "patch/catalogue.h"
#include "patch/fileio.h"
#include "patch/text.h"
#include "render/rows.h"
#include "ui/access_panel.h"
#include "ui/actions.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"

namespace {

// Nuklear keeps a pointer to the ratios while it lays out the row's cells.
float path_ratio[2] = {0.8f, 0.2f};

// The path as the field shows it. `path` holds file-system bytes (the ANSI code
// page on Windows) while Nuklear reads UTF-8, so the field gets a UTF-8 copy,
// remade only when the path changes; the file functions keep using `path`.
// While nothing is chosen `path` holds the prompt, which is UTF-8 already.
struct PathView {
    char source[PATCHER_PATH_SIZE];
    char text[PATCHER_PATH_SIZE * 3];
    int len;
} path_view;

void refresh_path_view(const char *path) {
    if (path_view.text[0] && strcmp(path_view.source, path) == 0) return;
    strcpy(path_view.source, path);
    if (strcmp(path, _(kPathPrompt)) == 0)
        copy_text(path_view.text, sizeof path_view.text, path);
    else
        path_to_utf8(path, path_view.text, sizeof path_view.text);
    path_view.len = (int)strlen(path_view.text);
}

// The title of the popup Nuklear has open, shown or not: a dropped file hides
// a message without closing its popup.
char popup_open_title[MESSAGE_TITLE_SIZE];

const uint8_t kPopupNodes[] = {ACCESS_POPUP, ACCESS_POPUP_TEXT, ACCESS_POPUP_OK};

AccessRect logical(struct nk_rect r) { return {r.x, r.y, r.w, r.h}; }

// Where the next widget goes. A press on it gives it the keyboard focus, as
// any toolkit's widgets take the focus on a click (unless the popup is open).
struct nk_rect focusable_bounds(struct nk_context *ctx, uint8_t id, bool reacts) {
    struct nk_rect bounds = nk_widget_bounds(ctx);
    // On the press, as the buttons fire.
    const struct nk_mouse_button &left = ctx->input.mouse.buttons[NK_BUTTON_LEFT];
    if (reacts && left.clicked && nk_input_has_mouse_click_down_in_rect(&ctx->input, NK_BUTTON_LEFT, bounds, nk_true))
        access_focus_clicked(id);
    return bounds;
}

// The focus ring, drawn over the widget just declared, in the theme's text
// colour: only once a key has been pressed, so a mouse user never sees it.
void focus_ring(struct nk_context *ctx, uint8_t id, struct nk_rect b) {
    if (access_focus() != id || !access_ring_visible()) return;
    const float rounding = ctx->style.button.rounding + 1;
    nk_stroke_rect(nk_window_get_canvas(ctx), nk_rect(b.x - 1, b.y - 1, b.w + 2, b.h + 2), rounding, 2,
                   ctx->style.text.color);
}

AccessNode *described(uint8_t id, uint8_t role, const char *name, struct nk_rect bounds, uint8_t parent = ACCESS_PANEL) {
    return access_node(id, role, parent, name, logical(bounds));
}

void button(uint8_t id, const char *label, struct nk_rect bounds, uint8_t parent = ACCESS_PANEL) {
    AccessNode *node = described(id, ACCESS_ROLE_PUSH_BUTTON, label, bounds, parent);
    node->verb = ACCESS_VERB_PRESS;
    node->states = ACCESS_STATE_FOCUSABLE;
}

void limit_value(AccessNode *node, int32_t limit) {
    node->states |= ACCESS_STATE_HAS_VALUE;
    node->value = limit;
    node->minimum = FPS_LIMIT_MIN;
    node->maximum = FPS_LIMIT_MAX;
    node->step = 1;
}

}  // namespace

void declare_main_panel(struct nk_context *ctx, struct HostWindow *host, struct nk_image gear_image) {
    PatcherState *state = &patcher_state;
    // Under an open popup the panel reacts to nothing (Nuklear makes it
    // read-only from the next frame; queued actions are dropped from this one).
    const bool reacts = !message_popup.visible;
    const uint8_t focus_before = access_focus();
    const bool pressed = nk_input_is_mouse_pressed(&ctx->input, NK_BUTTON_LEFT) ||
                         nk_input_is_mouse_pressed(&ctx->input, NK_BUTTON_RIGHT) ||
                         nk_input_is_mouse_pressed(&ctx->input, NK_BUTTON_MIDDLE);
    const uint8_t focus = access_frame_start(!reacts, music_fix_available(state->profile), pressed);
    described(ACCESS_PANEL, ACCESS_ROLE_PANEL, patcher_title(), nk_window_get_bounds(ctx), ACCESS_NONE);

    nk_layout_row(ctx, NK_DYNAMIC, 30, 2, path_ratio);
    refresh_path_view(state->path);
    described(ACCESS_PATH, ACCESS_ROLE_TEXT, path_view.text, nk_widget_bounds(ctx))->states = ACCESS_STATE_READ_ONLY;
    nk_edit_string(ctx, NK_EDIT_READ_ONLY, path_view.text, &path_view.len, (int)sizeof path_view.text,
                   nk_filter_default);
    struct nk_rect bounds = focusable_bounds(ctx, ACCESS_BROWSE, reacts);
    button(ACCESS_BROWSE, _(kLabelBrowse), bounds);
    if (nk_button_label(ctx, _(kLabelBrowse)) || access_activated(ACCESS_BROWSE)) {
        const char *chosen = choose_file(host, 1, nullptr);
        if (chosen) select_file(chosen);
    }
    focus_ring(ctx, ACCESS_BROWSE, bounds);

    nk_layout_row_dynamic(ctx, 30, 1);
    int status_len = (int)strlen(state->status);
    described(ACCESS_STATUS, ACCESS_ROLE_STATUS, state->status, nk_widget_bounds(ctx))->states = ACCESS_STATE_READ_ONLY;
    nk_edit_string(ctx, NK_EDIT_READ_ONLY, state->status, &status_len, PATCHER_STATUS_SIZE, nk_filter_default);

    // The field and fps_limit are one value: the text is rebuilt from the limit
    // every frame, so an edit that does not read as 1..255 is undone next frame.
    char fps_text[10];
    int n = snprintf(fps_text, sizeof fps_text, "%d", (int)state->fps_limit);
    fps_text[n < (int)sizeof fps_text ? n : (int)sizeof fps_text - 1] = '\0';

    nk_layout_row_dynamic(ctx, 30, 2);
    described(ACCESS_LIMIT_LABEL, ACCESS_ROLE_LABEL, _(kLabelFpsLimit), nk_widget_bounds(ctx));
    nk_label(ctx, _(kLabelFpsLimit), NK_TEXT_RIGHT);
    // The keyboard puts the caret in the field, or takes it out, as a click does.
    const bool keyed_in = focus == ACCESS_LIMIT_FIELD && focus_before != ACCESS_LIMIT_FIELD;
    if (keyed_in) {
        // The caret at the end of the number, as where a click after it puts it.
        nk_edit_focus(ctx, NK_EDIT_ALWAYS_INSERT_MODE);
        ctx->current->edit.cursor = ctx->current->edit.sel_start = ctx->current->edit.sel_end = (int)strlen(fps_text);
    } else if (focus_before == ACCESS_LIMIT_FIELD && focus != ACCESS_LIMIT_FIELD) {
        nk_edit_unfocus(ctx);
    }
    bounds = nk_widget_bounds(ctx);
    AccessNode *field = described(ACCESS_LIMIT_FIELD, ACCESS_ROLE_TEXT, _(kLabelFpsLimit), bounds);
    field->states = ACCESS_STATE_FOCUSABLE;
    field->verb = ACCESS_VERB_FOCUS;
    nk_flags result =
        nk_edit_string_zero_terminated(ctx, NK_EDIT_ALWAYS_INSERT_MODE, fps_text, FPS_TEXT_SIZE, nk_filter_decimal);
    if ((result & NK_EDIT_ACTIVATED) && !keyed_in) access_focus_clicked(ACCESS_LIMIT_FIELD);
    if (result) state->fps_limit = fps_limit_from_text(fps_text, state->fps_limit);
    focus_ring(ctx, ACCESS_LIMIT_FIELD, bounds);

    // While the field has the focus the slider only shows the value.
    nk_layout_row_dynamic(ctx, 30, 1);
    bounds = focusable_bounds(ctx, ACCESS_SLIDER, reacts);
    // Keys and screen readers set the limit as a drag does, and a screen
    // reader's value counts even while the field has the caret.
    access_limit_action(&state->fps_limit);
    if (result & (NK_EDIT_ACTIVE | NK_EDIT_ACTIVATED)) {
        int fps_shadow = state->fps_limit;
        nk_slider_int(ctx, FPS_LIMIT_MIN, &fps_shadow, FPS_LIMIT_MAX, 1);
    } else {
        nk_slider_int(ctx, FPS_LIMIT_MIN, &state->fps_limit, FPS_LIMIT_MAX, 1);
    }
    limit_value(field, state->fps_limit);
    AccessNode *slider = described(ACCESS_SLIDER, ACCESS_ROLE_SLIDER, _(kLabelFpsLimit), bounds);
    slider->states = ACCESS_STATE_FOCUSABLE;
    limit_value(slider, state->fps_limit);
    focus_ring(ctx, ACCESS_SLIDER, bounds);

    nk_layout_row_dynamic(ctx, 30, 1);
    bounds = focusable_bounds(ctx, ACCESS_MUSIC_FIX, reacts && music_fix_available(state->profile));
    if (access_activated(ACCESS_MUSIC_FIX)) state->music_fix = !state->music_fix;
    nk_checkbox_label(ctx, music_fix_label(state->profile), &state->music_fix);
    // Only the v1.1 editions have a fix: elsewhere a click never sticks.
    const bool fix_available = music_fix_available(state->profile);
    if (!fix_available) state->music_fix = 0;
    AccessNode *box = described(ACCESS_MUSIC_FIX, ACCESS_ROLE_CHECK_BOX, music_fix_label(state->profile), bounds);
    box->verb = ACCESS_VERB_TOGGLE;
    box->states = (fix_available ? ACCESS_STATE_FOCUSABLE : ACCESS_STATE_DISABLED) |
                  (state->music_fix ? ACCESS_STATE_CHECKED : 0u);
    focus_ring(ctx, ACCESS_MUSIC_FIX, bounds);

    nk_layout_row_dynamic(ctx, 30, 3);
    bounds = focusable_bounds(ctx, ACCESS_INFO, reacts);
    button(ACCESS_INFO, _(kLabelInfo), bounds);
    if (nk_button_label(ctx, _(kLabelInfo)) || access_activated(ACCESS_INFO)) show_information();
    focus_ring(ctx, ACCESS_INFO, bounds);
    described(ACCESS_CREDIT, ACCESS_ROLE_LABEL, kLabelCredit, nk_widget_bounds(ctx));
    nk_label(ctx, kLabelCredit, NK_TEXT_CENTERED);
    bounds = focusable_bounds(ctx, ACCESS_PATCH, reacts);
    button(ACCESS_PATCH, _(kLabelPatch), bounds);
    if (nk_button_image_label(ctx, gear_image, _(kLabelPatch), NK_TEXT_CENTERED) || access_activated(ACCESS_PATCH))
        apply_patch();
    focus_ring(ctx, ACCESS_PATCH, bounds);
}

void declare_popup(struct nk_context *ctx, const struct nk_image popup_icons[2]) {
    MessagePopup *popup = &message_popup;
    const struct nk_rect where = nk_rect(0, 10, 490, 203);
    // Nuklear knows a window's popup by its title and refuses another title
    // while one is open. A message that replaces one still open (a file
    // dropped over it) closes that first, or it would never be shown.
    if (popup_open_title[0] && strcmp(popup_open_title, popup->title) != 0 &&
        nk_popup_begin(ctx, NK_POPUP_STATIC, popup_open_title, NK_WINDOW_TITLE, where)) {
        nk_popup_close(ctx);
        nk_popup_end(ctx);
    }
    popup_open_title[0] = '\0';
    if (!nk_popup_begin(ctx, NK_POPUP_STATIC, popup->title, NK_WINDOW_TITLE, where)) {
        popup->visible = 0;
        return;
    }
    copy_text(popup_open_title, sizeof popup_open_title, popup->title);
    described(ACCESS_POPUP, popup->kind == MESSAGE_KIND_INFO ? ACCESS_ROLE_DIALOG : ACCESS_ROLE_ALERT, popup->title,
              nk_window_get_bounds(ctx));
    nk_layout_row_begin(ctx, NK_STATIC, 48, 3);
    nk_layout_row_push(ctx, 48);
    nk_image(ctx, popup_icons[popup->kind == MESSAGE_KIND_INFO ? 1 : 0]);
    nk_layout_row_push(ctx, 5);
    nk_spacing(ctx, 1);
    // The text runs on below its 48-pixel cell, over the two empty rows.
    nk_layout_row_push(ctx, 402);
    struct nk_rect text_bounds = nk_widget_bounds(ctx);
    render_label_rows(ctx, popup->text);
    nk_layout_row_end(ctx);

    nk_layout_row_dynamic(ctx, 25, 3);
    nk_layout_row_dynamic(ctx, 25, 3);
    nk_layout_row_dynamic(ctx, 25, 3);
    nk_spacing(ctx, 1);
    struct nk_rect ok = nk_widget_bounds(ctx);
    text_bounds.h = ok.y - text_bounds.y;
    described(ACCESS_POPUP_TEXT, ACCESS_ROLE_LABEL, popup->text, text_bounds, ACCESS_POPUP);
    button(ACCESS_POPUP_OK, _(kLabelOk), ok, ACCESS_POPUP);
    if (nk_button_label(ctx, _(kLabelOk)) || access_activated(ACCESS_POPUP_OK)) {
        popup->visible = 0;
        nk_popup_close(ctx);
        popup_open_title[0] = '\0';
    }
    focus_ring(ctx, ACCESS_POPUP_OK, ok);
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
        if (!message_popup.visible)
            for (uint8_t id : kPopupNodes) access_hide(id);
        access_frame_end(message_popup.visible);
    }
    nk_end(ctx);
}
