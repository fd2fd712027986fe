#include "ui/access.h"

#include <string.h>

#include "ui/access_panel.h"

AccessTree access_tree;

namespace {

// The tree the frame in progress fills; it replaces access_tree only once
// whole. A frame can stop half-way for a while (the file chooser runs its
// own loop inside it), and a screen reader asking then must still read the
// last whole frame.
AccessTree building;

// Keys and a screen reader's calls arrive between frames; each frame runs
// one action, so an action never lands on a panel that an earlier one in
// the same frame changed (a popup it opened, a file it chose).
enum { QUEUE_SIZE = 32 };

struct AccessQueue {
    AccessAction items[QUEUE_SIZE];
    unsigned head, count;
};

struct AccessFocus {
    // Nothing until the first Tab (or click), which lands on "Browse": a
    // key that is not Tab does today what it always did.
    uint8_t node = ACCESS_NONE;
    uint8_t under_popup = ACCESS_NONE;   // where the focus goes back to when the popup goes
    uint8_t ring = 0;
    uint8_t settle = 0;               // one more frame after an action, for its echo
    float window_scale = 1.0f;
    AccessAction action;              // this frame's
} focus;

AccessQueue queue;

// Tab's order. The check box drops out while disabled.
const uint8_t kTabOrder[] = {ACCESS_BROWSE, ACCESS_LIMIT_FIELD, ACCESS_SLIDER,
                             ACCESS_MUSIC_FIX, ACCESS_INFO, ACCESS_PATCH};
const int kTabCount = (int)(sizeof kTabOrder / sizeof kTabOrder[0]);

uint8_t next_in_order(uint8_t from, int direction, int music_fix_enabled) {
    int at = 0;
    while (at < kTabCount && kTabOrder[at] != from) at++;
    if (at == kTabCount) at = direction > 0 ? kTabCount - 1 : 0;   // from nowhere: the first or the last
    for (int step = 0; step < kTabCount; step++) {
        at = (at + direction + kTabCount) % kTabCount;
        if (kTabOrder[at] == ACCESS_MUSIC_FIX && !music_fix_enabled) continue;
        return kTabOrder[at];
    }
    return from;
}

bool focusable(uint8_t node, int music_fix_enabled) {
    for (uint8_t n : kTabOrder)
        if (n == node) return node != ACCESS_MUSIC_FIX || music_fix_enabled;
    return false;
}

}  // namespace

int access_push(AccessAction action) {
    if (queue.count == QUEUE_SIZE) return 0;
    queue.items[(queue.head + queue.count++) % QUEUE_SIZE] = action;
    return 1;
}

int access_pending(void) { return queue.count > 0 || focus.settle; }

static int push(uint8_t type, uint8_t node = ACCESS_NONE, int32_t value = 0) {
    AccessAction action;
    action.type = type;
    action.node = node;
    action.value = value;
    access_push(action);
    return 1;
}

int access_key(AccessKey key, int shift) {
    focus.ring = 1;
    // The popup is modal: its "OK" is all there is to reach.
    if (message_popup.visible) {
        switch (key) {
        case ACCESS_KEY_ENTER:
        case ACCESS_KEY_SPACE:
        case ACCESS_KEY_ESCAPE: return push(ACCESS_DO_ACTIVATE, ACCESS_POPUP_OK);
        case ACCESS_KEY_TAB:
        case ACCESS_KEY_OPEN: return 1;
        default: return 0;
        }
    }
    switch (key) {
    case ACCESS_KEY_OPEN: return push(ACCESS_DO_ACTIVATE, ACCESS_BROWSE);
    case ACCESS_KEY_TAB: return push(shift ? ACCESS_DO_FOCUS_PREVIOUS : ACCESS_DO_FOCUS_NEXT);
    case ACCESS_KEY_ENTER:
    case ACCESS_KEY_SPACE:
        switch (focus.node) {
        case ACCESS_BROWSE:
        case ACCESS_MUSIC_FIX:
        case ACCESS_INFO:
        case ACCESS_PATCH: return push(ACCESS_DO_ACTIVATE, focus.node);
        default: return 0;
        }
    default: break;
    }
    if (focus.node != ACCESS_SLIDER) return 0;
    switch (key) {
    case ACCESS_KEY_LEFT:
    case ACCESS_KEY_DOWN: return push(ACCESS_DO_STEP_LIMIT, ACCESS_SLIDER, -1);
    case ACCESS_KEY_RIGHT:
    case ACCESS_KEY_UP: return push(ACCESS_DO_STEP_LIMIT, ACCESS_SLIDER, 1);
    case ACCESS_KEY_PAGE_DOWN: return push(ACCESS_DO_STEP_LIMIT, ACCESS_SLIDER, -10);
    case ACCESS_KEY_PAGE_UP: return push(ACCESS_DO_STEP_LIMIT, ACCESS_SLIDER, 10);
    case ACCESS_KEY_HOME: return push(ACCESS_DO_SET_LIMIT, ACCESS_SLIDER, FPS_LIMIT_MIN);
    case ACCESS_KEY_END: return push(ACCESS_DO_SET_LIMIT, ACCESS_SLIDER, FPS_LIMIT_MAX);
    default: return 0;
    }
}

int access_ring_visible(void) { return focus.ring; }

void access_begin_frame(float window_scale) { focus.window_scale = window_scale > 0 ? window_scale : 1.0f; }

// --- the panel's side ---------------------------------------------------------------

uint8_t access_frame_start(int popup_open, int music_fix_enabled, int mouse_pressed) {
    if (mouse_pressed) focus.ring = 0;
    focus.settle = 0;
    AccessAction none = {ACCESS_DO_NONE, ACCESS_NONE, 0};
    focus.action = none;
    if (queue.count) {
        focus.action = queue.items[queue.head];
        queue.head = (queue.head + 1) % QUEUE_SIZE;
        queue.count--;
        focus.settle = 1;
    }
    AccessAction &action = focus.action;
    // Under the popup the panel takes nothing, from keys or screen readers
    // alike, as it takes no click.
    if (popup_open && action.node != ACCESS_POPUP_OK) action = none;

    switch (action.type) {
    case ACCESS_DO_FOCUS_NEXT:
    case ACCESS_DO_FOCUS_PREVIOUS:
        if (!popup_open)
            focus.node = next_in_order(focus.node, action.type == ACCESS_DO_FOCUS_NEXT ? 1 : -1, music_fix_enabled);
        break;
    case ACCESS_DO_FOCUS:
        if (focusable(action.node, music_fix_enabled)) focus.node = action.node;
        break;
    case ACCESS_DO_ACTIVATE:
        // Pressing a widget focuses it, as a click would.
        if (focusable(action.node, music_fix_enabled)) focus.node = action.node;
        break;
    }
    return focus.node;
}

int access_activated(uint8_t node) {
    return focus.action.type == ACCESS_DO_ACTIVATE && focus.action.node == node;
}

int access_limit_action(int32_t *limit) {
    const AccessAction &action = focus.action;
    if (action.type == ACCESS_DO_SET_LIMIT) *limit = fps_limit_clamped(action.value);
    else if (action.type == ACCESS_DO_STEP_LIMIT) *limit = fps_limit_clamped(*limit + action.value);
    else return 0;
    return 1;
}

uint8_t access_focus(void) { return focus.node; }

void access_focus_clicked(uint8_t node) { focus.node = node; }

void access_frame_end(int popup_visible) {
    if (popup_visible && focus.node != ACCESS_POPUP_OK) {
        focus.under_popup = focus.node;
        focus.node = ACCESS_POPUP_OK;
    } else if (!popup_visible && focus.node == ACCESS_POPUP_OK) {
        focus.node = focus.under_popup;
    }
    // The box may have gone disabled under the focus (another file chosen).
    if (focus.node == ACCESS_MUSIC_FIX && (building.nodes[ACCESS_MUSIC_FIX].states & ACCESS_STATE_DISABLED))
        focus.node = ACCESS_INFO;
    building.focus = focus.node;
    for (AccessNode &node : building.nodes) node.states &= ~(uint32_t)ACCESS_STATE_FOCUSED;
    if (focus.node != ACCESS_NONE) building.nodes[focus.node].states |= ACCESS_STATE_FOCUSED;
    access_tree = building;
}

void access_reset(void) {
    focus = AccessFocus{};
    queue = AccessQueue{};
    access_tree = building = AccessTree{};
}

AccessNode *access_node(uint8_t id, uint8_t role, uint8_t parent, const char *name, AccessRect logical_bounds) {
    AccessNode *node = &building.nodes[id];
    node->present = 1;
    node->role = role;
    node->parent = parent;
    node->verb = ACCESS_VERB_NONE;
    node->states = 0;
    node->value = node->minimum = node->maximum = node->step = 0;
    const float s = focus.window_scale;
    node->bounds = {logical_bounds.x * s, logical_bounds.y * s, logical_bounds.width * s, logical_bounds.height * s};
    size_t n = strlen(name);
    if (n >= sizeof node->name) {
        // Cut between characters: a screen reader's bus takes only whole UTF-8.
        n = sizeof node->name - 1;
        while (n > 0 && ((unsigned char)name[n] & 0xC0) == 0x80) n--;
    }
    memcpy(node->name, name, n);
    node->name[n] = '\0';
    return node;
}

void access_hide(uint8_t id) { building.nodes[id].present = 0; }

// --- notifications -------------------------------------------------------------------

void access_changes(const AccessTree *before, const AccessTree *now, AccessChangeFn fn, void *data) {
    const uint32_t kept = ~(uint32_t)ACCESS_STATE_FOCUSED;
    for (uint8_t id = 0; id < ACCESS_NODE_COUNT; id++) {
        const AccessNode &a = before->nodes[id], &b = now->nodes[id];
        // A node that changed its role (an information popup replaced by an
        // error) is another object: the old one goes and the new one comes.
        if (a.present && b.present && a.role != b.role) {
            fn(data, id, ACCESS_CHANGE_HIDDEN, a.states);
            fn(data, id, ACCESS_CHANGE_SHOWN, a.states);
            continue;
        }
        if (a.present != b.present) {
            fn(data, id, b.present ? ACCESS_CHANGE_SHOWN : ACCESS_CHANGE_HIDDEN, a.states);
            continue;
        }
        if (!b.present) continue;
        if (strcmp(a.name, b.name) != 0) fn(data, id, ACCESS_CHANGE_NAME, a.states);
        if ((a.states & kept) != (b.states & kept)) fn(data, id, ACCESS_CHANGE_STATE, a.states);
        if (a.value != b.value || a.minimum != b.minimum || a.maximum != b.maximum)
            fn(data, id, ACCESS_CHANGE_VALUE, a.states);
        if (memcmp(&a.bounds, &b.bounds, sizeof a.bounds) != 0) fn(data, id, ACCESS_CHANGE_BOUNDS, a.states);
    }
    if (before->focus != now->focus && now->focus != ACCESS_NONE)
        fn(data, now->focus, ACCESS_CHANGE_FOCUS, before->nodes[now->focus].states);
}
