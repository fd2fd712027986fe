// What the patcher window shows, described for assistive technology, and the
// one queue through which keys and screen readers act on it.
//
// The panel is the one place that knows what is on screen, so it is the one
// place that describes it: each frame it fills `access_tree` with its widgets
// (role, name from the very texts it draws, states, the limit's value and
// range, bounds in window pixels, the action each widget takes). A host only
// translates the tree for its platform's interface (ATK on Linux, IAccessible
// on Windows) and hands what a screen reader asks for back as AccessActions,
// which the panel runs at the widget they belong to, exactly where a click on
// that widget runs. Keyboard focus is the panel's state too, so both windows
// move it alike.
//
// Platform-neutral and free of Nuklear: the hosts include it without the GUI.
#pragma once

#include <stdint.h>

#include "ui/state.h"

// The widgets, each with a fixed identity, in the order the panel declares
// them. The tree is a fixed set of slots: the popup's three are present only
// while a message is shown.
enum AccessId : uint8_t {
    ACCESS_PANEL,        // the window's client area: the root, named by the caption
    ACCESS_PATH,         // read-only text: the chosen path or the prompt
    ACCESS_BROWSE,       // push button
    ACCESS_STATUS,       // status line: its name is the status text
    ACCESS_LIMIT_LABEL,  // the label beside the limit field
    ACCESS_LIMIT_FIELD,  // editable text holding the limit
    ACCESS_SLIDER,       // the limit again, as a slider
    ACCESS_MUSIC_FIX,    // check box
    ACCESS_INFO,         // push button
    ACCESS_CREDIT,       // label
    ACCESS_PATCH,        // push button
    ACCESS_POPUP,        // dialog (information) or alert (error), named by its title
    ACCESS_POPUP_TEXT,   // the message, as a label
    ACCESS_POPUP_OK,     // push button
    ACCESS_NODE_COUNT,
    ACCESS_NONE = 0xFF,
};

enum AccessRole : uint8_t {
    ACCESS_ROLE_PANEL,
    ACCESS_ROLE_TEXT,         // a text field (read-only or editable, by state)
    ACCESS_ROLE_STATUS,
    ACCESS_ROLE_LABEL,
    ACCESS_ROLE_SLIDER,
    ACCESS_ROLE_CHECK_BOX,
    ACCESS_ROLE_PUSH_BUTTON,
    ACCESS_ROLE_DIALOG,
    ACCESS_ROLE_ALERT,
};

enum AccessState : uint32_t {
    ACCESS_STATE_FOCUSABLE = 1u << 0,
    ACCESS_STATE_FOCUSED = 1u << 1,
    ACCESS_STATE_CHECKED = 1u << 2,
    ACCESS_STATE_DISABLED = 1u << 3,
    ACCESS_STATE_READ_ONLY = 1u << 4,
    ACCESS_STATE_HAS_VALUE = 1u << 5,   // value, minimum, maximum and step mean something
};

// What a widget does when activated: the default action a screen reader
// offers for it.
enum AccessVerb : uint8_t {
    ACCESS_VERB_NONE,
    ACCESS_VERB_PRESS,    // the buttons
    ACCESS_VERB_TOGGLE,   // the check box
    ACCESS_VERB_FOCUS,    // the limit field: activating it puts the caret in it
};

struct AccessRect {
    float x, y, width, height;   // window pixels (see access_begin_frame)
};

enum { ACCESS_NAME_SIZE = MESSAGE_TEXT_SIZE };

struct AccessNode {
    uint8_t present;             // 0: not on screen this frame
    uint8_t role;                // AccessRole
    uint8_t parent;              // AccessId, ACCESS_NONE for the root
    uint8_t verb;                // AccessVerb
    uint32_t states;             // AccessState bits
    int32_t value, minimum, maximum, step;
    AccessRect bounds;
    char name[ACCESS_NAME_SIZE];   // UTF-8
};

struct AccessTree {
    AccessNode nodes[ACCESS_NODE_COUNT];
    uint8_t focus;               // AccessId with the keyboard focus, or ACCESS_NONE
};

// --- actions ------------------------------------------------------------------
enum AccessActionType : uint8_t {
    ACCESS_DO_NONE,
    ACCESS_DO_ACTIVATE,     // the node's verb: press, toggle, or focus
    ACCESS_DO_SET_LIMIT,    // `value` becomes the limit (held within its range)
    ACCESS_DO_STEP_LIMIT,   // the limit moves by `value`
    ACCESS_DO_FOCUS,        // the node takes the keyboard focus
    ACCESS_DO_FOCUS_NEXT,   // Tab
    ACCESS_DO_FOCUS_PREVIOUS,   // Shift+Tab
};

struct AccessAction {
    uint8_t type;    // AccessActionType
    uint8_t node;    // AccessId for ACTIVATE and FOCUS
    int32_t value;   // for SET_LIMIT and STEP_LIMIT
};

// The tree the last frame described; hosts read it between frames.
extern AccessTree access_tree;

// Queues an action for the next frame. Returns 0 when the queue is full (a
// screen reader flooding the window) and the action is dropped.
int access_push(AccessAction action);
// Whether actions wait: a host's pump must not sleep while they do.
int access_pending(void);

// --- keys -------------------------------------------------------------------------
enum AccessKey : uint8_t {
    ACCESS_KEY_TAB,
    ACCESS_KEY_ENTER,
    ACCESS_KEY_SPACE,
    ACCESS_KEY_ESCAPE,
    ACCESS_KEY_LEFT,
    ACCESS_KEY_RIGHT,
    ACCESS_KEY_UP,
    ACCESS_KEY_DOWN,
    ACCESS_KEY_PAGE_UP,
    ACCESS_KEY_PAGE_DOWN,
    ACCESS_KEY_HOME,
    ACCESS_KEY_END,
    ACCESS_KEY_OPEN,   // Ctrl+O
};

// A key press as the panel's keyboard use sees it. Returns 1 when the key
// moves the focus or acts on the focused widget (it is queued, and the host
// must not hand it to Nuklear too); 0 when it belongs to whatever else reads
// keys (the limit field's editing). Any such key also shows the focus ring.
int access_key(AccessKey key, int shift);

// Whether the ring around the focused widget is drawn: from the first key
// the panel took until the next mouse press.
int access_ring_visible(void);

// --- notifications -----------------------------------------------------------------
enum AccessChange : uint8_t {
    ACCESS_CHANGE_SHOWN,    // the node appeared (the popup and its children)
    ACCESS_CHANGE_HIDDEN,   // the node went
    ACCESS_CHANGE_NAME,     // name (or, for text fields, text) changed
    ACCESS_CHANGE_STATE,    // some state bit other than FOCUSED changed
    ACCESS_CHANGE_VALUE,
    ACCESS_CHANGE_BOUNDS,
    ACCESS_CHANGE_FOCUS,    // the node took the keyboard focus
};

typedef void (*AccessChangeFn)(void *data, uint8_t node, uint8_t change, uint32_t old_states);

// Calls `fn` for every difference between `before` and `now`, root first,
// then in node order; a node shown or hidden reports nothing else. FOCUS
// comes last, so a screen reader announces the new focus after what changed.
void access_changes(const AccessTree *before, const AccessTree *now, AccessChangeFn fn, void *data);

// --- for the panel ---------------------------------------------------------------
// Window pixels per logical pixel: device pixels on Windows, 1 under GDK
// (whose coordinates are logical whatever its scale). The panel's bounds
// are given in these.
void access_begin_frame(float window_scale);
