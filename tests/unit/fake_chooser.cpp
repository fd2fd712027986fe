// The file chooser for headless tests: returns whatever the test put in
// fake_chosen_path, and counts the calls.
#include "host/chooser.h"

const char *fake_chosen_path = nullptr;
int fake_chooser_calls = 0;

const char *choose_file(HostWindow *, unsigned, const char *) {
    ++fake_chooser_calls;
    return fake_chosen_path;
}
