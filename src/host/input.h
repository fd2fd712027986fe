// What every host hands Nuklear the same way, whatever its platform: the key
// table (editing keys always, shortcuts only with Ctrl) and pasted UTF-8 text.
// Each host maps its own key codes to HostKey and calls in here, so the two
// windows behave alike key for key.
#pragma once

#include "nuklear_config.h"

enum HostKey {
    HOST_KEY_OTHER,   // anything Nuklear does not get
    HOST_KEY_BACKSPACE,
    HOST_KEY_TAB,
    HOST_KEY_ENTER,
    HOST_KEY_SHIFT,
    HOST_KEY_PAGE_UP,
    HOST_KEY_PAGE_DOWN,
    HOST_KEY_END,
    HOST_KEY_HOME,
    HOST_KEY_LEFT,
    HOST_KEY_RIGHT,
    HOST_KEY_DELETE,
    HOST_KEY_SPACE,   // these four move around the panel (ui/access.h); Nuklear never gets them
    HOST_KEY_ESCAPE,
    HOST_KEY_UP,
    HOST_KEY_DOWN,
    HOST_KEY_C,   // the letters below are shortcuts, and only with Ctrl
    HOST_KEY_R,
    HOST_KEY_V,
    HOST_KEY_X,
    HOST_KEY_Z,
    HOST_KEY_O,   // Ctrl+O: the file chooser
};

// Feeds one key press (`down` 1) or release to Nuklear. Returns 0 for keys
// Nuklear does not get, so the platform keeps Alt+F4, F10 and the rest.
int host_input_key(struct nk_context *ctx, enum HostKey key, int ctrl, int down);

// Offers a key press to the panel's keyboard use first (focus, buttons, the
// slider, the popup; ui/access.h). Returns 1 when the panel took it: the host
// then gives it to Nuklear no more, and must run a frame.
int host_panel_key(enum HostKey key, int ctrl, int shift);

// Inserts `bytes` bytes of UTF-8 at the edit's cursor. Nuklear 4.00.1's
// nk_textedit_paste inserts as many characters as its length says (and moves
// the cursor by that many), so it is handed characters, not bytes: given bytes,
// any text outside ASCII would make it read past the end of the text.
void host_paste_utf8(struct nk_text_edit *edit, const char *utf8, int bytes);
