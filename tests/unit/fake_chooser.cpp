// The file chooser for headless tests: returns whatever the test put in
// fake_chosen_path, and counts the calls. A drop is whatever the test put in
// fake_drop (and fake_dropped_path), taken once.
#include "host/chooser.h"

const char *fake_chosen_path = nullptr;
int fake_chooser_calls = 0;
int fake_drop = HOST_DROP_NONE;
const char *fake_dropped_path = nullptr;

const char *choose_file(HostWindow *, unsigned, const char *) {
    ++fake_chooser_calls;
    return fake_chosen_path;
}

int take_dropped_file(HostWindow *, const char **path) {
    int drop = fake_drop;
    *path = drop == HOST_DROP_FILE ? fake_dropped_path : nullptr;
    fake_drop = HOST_DROP_NONE;
    return drop;
}
