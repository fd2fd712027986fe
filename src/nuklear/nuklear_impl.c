// The one translation unit that holds Nuklear's implementation.
#define NK_IMPLEMENTATION
#include "nuklear_config.h"
