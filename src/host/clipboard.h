// The system clipboard as Nuklear's copy and paste callbacks, a host service.
// Text is UTF-8 on Nuklear's side; each platform converts to what its
// clipboard holds. One implementation per platform (win32/clipboard.cpp,
// gtk/clipboard.cpp); host_init installs them with the host record as userdata.
#pragma once

#include "nuklear_config.h"

void host_clipboard_copy(nk_handle userdata, const char *text, int length);
void host_clipboard_paste(nk_handle userdata, struct nk_text_edit *edit);
