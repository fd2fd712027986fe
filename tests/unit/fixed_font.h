// A Nuklear font for headless tests: 13 pixels high, every character 7 pixels
// wide, so layouts are the same on every machine.
#pragma once

#include "nuklear_config.h"

inline float fixed_width(nk_handle, float, const char *, int length) { return 7.0f * (float)length; }

inline void fixed_font_init(struct nk_user_font *font) {
    font->userdata = nk_handle_ptr(font);
    font->height = 13;
    font->width = fixed_width;
}
