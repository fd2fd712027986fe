// The panel's side of ui/access.h: taking each frame's action, keeping the
// keyboard focus, and filling the tree. Only the panel calls these.
#pragma once

#include "ui/access.h"

// At the start of a frame: takes one queued action (dropped, but for the
// popup's own, while the popup is open) and moves the focus as it says.
// `mouse_pressed` hides the ring. Returns the focused widget.
uint8_t access_frame_start(int popup_open, int music_fix_enabled, int mouse_pressed);
// Whether this frame's action presses, toggles or focuses `node`.
int access_activated(uint8_t node);
// Applies this frame's slider action to `limit`; returns 1 when there was one.
int access_limit_action(int32_t *limit);
uint8_t access_focus(void);
// A mouse press on a focusable widget gives it the focus, ring hidden.
void access_focus_clicked(uint8_t node);
// At the end of a frame: the popup takes the focus while it is open and gives
// it back when it goes; the tree's focused state follows, and the tree the
// frame filled becomes access_tree.
void access_frame_end(int popup_visible);

// Back to the state of a fresh start: no focus, no ring, nothing queued.
void access_reset(void);

// Fills a node of the tree the frame is building, bounds given in Nuklear's
// logical pixels.
AccessNode *access_node(uint8_t id, uint8_t role, uint8_t parent, const char *name, AccessRect logical_bounds);
void access_hide(uint8_t id);
