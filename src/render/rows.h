// A label whose lines may be wider than its cell, laid out in rows.
//
// Nuklear's wrapped label puts each wrapped piece one font height below the
// last, whatever line breaks the piece holds; the drawing layers draw a piece
// with a line break as two lines, one line spacing apart, so the piece after
// it lands on its second line. Here the text keeps its own line breaks, every
// line too wide for the cell is broken at its last space that fits (inside a
// word only when no space does), and the drawing layer gets the whole as one
// text with a line break between rows: every row then sits one line spacing
// below the last, wrapped or not, at every scale. A text that needs no
// wrapping is drawn exactly as Nuklear's wrapped label draws it.
#pragma once

#include <stdint.h>

#include "nuklear_config.h"

// Declares the label in the next cell of the current row; its rows run on
// below the cell, as the text's own lines always have.
void render_label_rows(struct nk_context *ctx, const char *text);

// `length` bytes of `text` as rows `width` pixels wide in `font`: the text
// with a "\r\n" in place of each space where it wraps (put between two
// characters where a word alone is too wide), into `out` of `size` bytes,
// terminated. A text that does not fit in `out` is cut at a character.
// Returns the length written.
int32_t text_rows(const struct nk_user_font *font, const char *text, int32_t length, float width, char *out,
                  int32_t size);
