// The look of the patcher window: four colour themes, Nuklear's default, and
// the skins laid over the chosen theme. Written once at start-up.
#pragma once

#include "nuklear_config.h"

enum { HOST_THEME_GREY = 1, HOST_THEME_CRIMSON = 2, HOST_THEME_SKY = 3, HOST_THEME_SLATE = 4 };

// Writes the whole style from the theme's colour table, or Nuklear's default
// style for any other number. Drops any earlier field override.
void host_set_style(struct nk_context *ctx, int theme);

// The check-box skin and the window padding, applied right after the theme.
void apply_skins(struct nk_context *ctx, struct nk_image box_empty, struct nk_image box_ticked);
