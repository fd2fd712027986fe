// The look of the patcher window: four colour themes and Nuklear's default.
// Platform-neutral part of the host interface.
#pragma once

#include "nuklear_config.h"

enum { HOST_THEME_GREY = 1, HOST_THEME_CRIMSON = 2, HOST_THEME_SKY = 3, HOST_THEME_SLATE = 4 };

// Writes the whole style from the theme's colour table, or Nuklear's default
// style for any other number. Drops any earlier field override.
void host_set_style(struct nk_context *ctx, int theme);
