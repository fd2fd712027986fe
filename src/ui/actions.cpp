#include "ui/actions.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "patch/catalogue.h"
#include "patch/patch.h"
#include "patch/text.h"
#include "lang/lang.h"

const FileIo *actions_io = &kStdioFileIo;

// Back to "nothing selected", with the reason in the popup.
static void refuse_selection(const char *title, const char *text) {
    PatcherState *state = &patcher_state;
    state->path_len = (int32_t)copy_text(state->path, sizeof state->path, _(kPathPrompt));
    state->profile = NO_PROFILE;
    digest[0] = '\0';
    state->status[0] = '\0';
    state->fps_limit = DEFAULT_FPS_LIMIT;
    queue_message(&message_popup, MESSAGE_KIND_ERROR, _(title), _(text));
}

void identify_exe(const char *path) {
    PatcherState *state = &patcher_state;
    IdentifyResult result;
    identify_file(path, &result, &kCatalogue, actions_io);
    if (!result.supported) {
        refuse_selection(kTitleUnsupported, kSupportedEditions);
        return;
    }
    const ExeProfile *row = &kExeProfiles[result.profile];
    state->profile = result.profile;
    // Without a digest the buffer keeps the version text it was probed with.
    copy_text(digest, sizeof digest, result.md5_ok ? result.md5 : row->probe_text);
    copy_text(state->status, sizeof state->status, result.status);
    if (result.fps_byte >= 0) state->fps_limit = result.fps_byte;
}

void select_file(const char *chosen) {
    size_t len = strlen(chosen);
    if (len >= sizeof patcher_state.path) {
        refuse_selection(kTitlePathTooLong, kTextPathTooLong);
        return;
    }
    memmove(patcher_state.path, chosen, len + 1);
    patcher_state.path_len = (int32_t)len;
    identify_exe(patcher_state.path);
}

void apply_patch(void) {
    PatchSettings settings = {patcher_state.fps_limit, patcher_state.music_fix == 1, 0};
    PatchOutcome outcome;
    switch (patch_file(patcher_state.path, patcher_state.profile, &settings, &outcome, &kCatalogue, actions_io)) {
    case PATCH_DONE:
        queue_message(&message_popup, MESSAGE_KIND_INFO, _(kTitleSuccess), _(kTextSuccess));
        break;
    case PATCH_NO_PROFILE:
    {
        char text[MESSAGE_TEXT_SIZE];
        format_into(text, sizeof text, "%s\r\n%s", _(kTextReadingError), _(kSupportedEditions));
        queue_message(&message_popup, MESSAGE_KIND_ERROR, _(kTitleReadingError), text);
        break;
    }
    case PATCH_NOT_OPENED:
        // A file that is no longer there has changed as much as a file can.
        if (outcome.error_code != ENOENT && outcome.error_code != ENOTDIR) {
            report_not_writable(error_text(outcome.error_code));
            break;
        }
        // fall through
    case PATCH_FILE_CHANGED:
        queue_message(&message_popup, MESSAGE_KIND_ERROR, _(kTitleReadingError), _(kTextFileChanged));
        break;
    case PATCH_BUSY:
    case PATCH_IO_FAILED:
    case PATCH_IO_FAILED_UNRESTORED:
        queue_message(&message_popup, MESSAGE_KIND_ERROR, _(kTitlePatchFailed), outcome.error);
        break;
    }
}

void show_information(void) {
    queue_message(&message_popup, MESSAGE_KIND_INFO, _(kTitleInformation), _(kTextInformation));
}

void refuse_drop(void) { queue_message(&message_popup, MESSAGE_KIND_ERROR, _(kTitleDropRefused), _(kTextDropRefused)); }

void report_not_writable(const char *reason) {
    char text[MESSAGE_TEXT_SIZE];
    format_into(text, sizeof text, _(kTextNotWritable), reason);
    queue_message(&message_popup, MESSAGE_KIND_ERROR, _(kTitleReadingError), text);
}
