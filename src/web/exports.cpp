// The engine's door to the web page, compiled to WebAssembly.
//
// The page hands in the chosen file's bytes under the file's name
// (kelm_put); from there on the file goes through exactly what the desktop
// window runs (select_file, identify_file, apply_patch, patch_file), over
// the file held in memory. Most calls answer with one JSON object, which the
// page renders as it is: the texts, the rules of the limit field and the
// music-fix box, and every message come from here, never from the page.
//
// The page's language: kelm_languages lists the catalogues the page offers,
// kelm_pick_language chooses among them for the browser's languages, and
// kelm_use_language takes the chosen catalogue's bytes, which the page loads
// from its lang/ folder, and answers the texts anew.
//
// Not here: reading and writing the user's real file. Only the page can reach
// it (a FileSystemFileHandle, or a download); it takes the patched bytes from
// kelm_file_data and tells us what became of them through kelm_written and
// kelm_write_failed.
#include <emscripten/emscripten.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lang/lang.h"
#include "lang/lang_list.h"
#include "lang/lang_mo.h"
#include "patch/catalogue.h"
#include "patch/digest.h"
#include "patch/file_memory.h"
#include "patch/json.h"
#include "patch/text.h"
#include "ui/actions.h"
#include "ui/state.h"

namespace {

// Texts only the page has: where the patched file went, and the drop zone.
const char kNoteInPlace[] = N_("%s was patched in place.");
const char kNoteDownload[] =
    N_("This browser cannot write to the chosen file, so the patched copy was saved as a download named %s. "
       "Put it in place of the game's executable.");
const char kDropHint[] = N_("or drop the game's executable anywhere on this page");
// The language chooser's name, and what it says when a language's texts did
// not arrive: the page's lang/ file missing, or refused, or a page offline
// that never kept it.
const char kLanguageLabel[] = N_("Language");
// TRANSLATORS: %s is the name of the language asked for, in that language ("Deutsch").
const char kLanguageFailed[] = N_("The texts in %s could not be loaded, so the page stays in the language it shows.");
// The reason given when the browser did not let the page write to the file.
const char kNoPermission[] = N_("permission to write was not given");

// The catalogue in use (our copy of the page's bytes, which tr() reads from
// for as long as it is in use) and its index in kLangCatalogues; null and -1
// for English.
unsigned char *catalogue;
size_t catalogue_size;
int language = -1;

// What kelm_written said about the last patch; empty until a patch is written.
char note[MESSAGE_TEXT_SIZE];

// One answer at a time: the page copies it into a JavaScript string at once.
char *answer;
size_t answer_size;

FILE *begin_answer(JsonLine *line) {
    free(answer);
    answer = nullptr;
    FILE *out = open_memstream(&answer, &answer_size);
    if (!out) abort();
    json_begin(line, out);
    return out;
}

const char *end_answer(JsonLine *line) {
    json_end(line);
    fclose(line->out);
    return answer;
}

const char *state_answer(void) {
    const PatcherState *state = &patcher_state;
    const MessagePopup *popup = &message_popup;
    JsonLine line;
    begin_answer(&line);
    json_string(&line, "path", state->path);
    json_bool(&line, "chosen", state->profile != NO_PROFILE);
    json_int(&line, "profile", state->profile);
    json_string(&line, "status", state->status);
    json_int(&line, "fps_limit", state->fps_limit);
    json_bool(&line, "music_fix", state->music_fix == 1);
    json_bool(&line, "music_fix_available", music_fix_available(state->profile));
    json_string(&line, "music_fix_label", music_fix_label(state->profile));
    json_bool(&line, "message_visible", popup->visible != 0);
    json_string(&line, "message_kind", popup->kind == MESSAGE_KIND_INFO ? "info" : "error");
    json_string(&line, "message_title", popup->title);
    json_string(&line, "message_text", popup->text);
    json_string(&line, "note", note);
    return end_answer(&line);
}

// The BCP 47 tag of kLangCatalogues[index] ("pt_BR": "pt-BR"); "en" for -1.
struct LanguageTag {
    char text[16];
};
LanguageTag language_tag(int index) {
    LanguageTag tag;
    copy_text(tag.text, sizeof tag.text, index < 0 ? "en" : kLangCatalogues[index].code);
    for (char *c = tag.text; *c; ++c)
        if (*c == '_') *c = '-';
    return tag;
}

// Every text and limit the page shows, in the language in use, with that
// language's code and its BCP 47 tag for the page's lang attribute.
const char *texts_answer(void) {
    JsonLine line;
    begin_answer(&line);
    json_string(&line, "title", patcher_title());
    json_string(&line, "browse", _(kLabelBrowse));
    json_string(&line, "drop_hint", _(kDropHint));
    json_string(&line, "fps_label", _(kLabelFpsLimit));
    json_int(&line, "fps_min", FPS_LIMIT_MIN);
    json_int(&line, "fps_max", FPS_LIMIT_MAX);
    json_string(&line, "info", _(kLabelInfo));
    json_string(&line, "credit", kLabelCredit);
    json_string(&line, "patch", _(kLabelPatch));
    json_string(&line, "ok", _(kLabelOk));
    json_string(&line, "language_label", _(kLanguageLabel));
    json_string(&line, "language", language < 0 ? "" : kLangCatalogues[language].code);
    json_string(&line, "lang", language_tag(language).text);
    return end_answer(&line);
}

int catalogue_index(const char *code) {
    for (size_t i = 0; i < kLangCatalogueCount; ++i)
        if (strcmp(kLangCatalogues[i].code, code) == 0) return (int)i;
    return -1;
}

}  // namespace

extern "C" {

// Start-up: the state as the window starts, and every text and limit the page
// shows, in one answer.
EMSCRIPTEN_KEEPALIVE const char *kelm_start(void) {
    patcher_state_init(&patcher_state);
    memset(&message_popup, 0, sizeof message_popup);
    note[0] = '\0';
    return texts_answer();
}

// The languages the page offers, English first, each by its code (as the
// page's lang/ files are named; "" for English), its BCP 47 tag and its name
// in itself: {"languages": [{"code", "tag", "name"}...]}.
EMSCRIPTEN_KEEPALIVE const char *kelm_languages(void) {
    free(answer);
    answer = nullptr;
    FILE *out = open_memstream(&answer, &answer_size);
    if (!out) abort();
    fputs("{\"languages\": [", out);
    for (int i = -1; i < (int)kLangCatalogueCount; ++i) {
        JsonLine line;
        if (i >= 0) fputs(", ", out);
        json_begin(&line, out);
        json_string(&line, "code", i < 0 ? "" : kLangCatalogues[i].code);
        json_string(&line, "tag", language_tag(i).text);
        // English's name in itself is the text that every catalogue translates.
        json_string(&line, "name", i < 0 ? "English" : kLangCatalogues[i].autonym);
        json_end(&line);
    }
    fputs("]}", out);
    fclose(out);
    return answer;
}

// The language for a browser whose languages are `wanted` (navigator.languages
// joined by commas, most wanted first): {"code": CODE}, "" for English.
EMSCRIPTEN_KEEPALIVE const char *kelm_pick_language(const char *wanted) {
    // The tags cut apart in a copy of the list; the first 32 count.
    enum { MOST = 32 };
    char *list = strdup(wanted);
    if (!list) abort();
    const char *tags[MOST];
    size_t count = 0;
    for (char *tag = strtok(list, ", "); tag && count < MOST; tag = strtok(nullptr, ", ")) tags[count++] = tag;
    const char **codes = (const char **)malloc(kLangCatalogueCount * sizeof *codes);
    if (!codes) abort();
    for (size_t i = 0; i < kLangCatalogueCount; ++i) codes[i] = kLangCatalogues[i].code;
    const int pick = lang_pick(tags, count, codes, kLangCatalogueCount);
    free(codes);
    free(list);
    JsonLine line;
    begin_answer(&line);
    json_string(&line, "code", pick < 0 ? "" : kLangCatalogues[pick].code);
    return end_answer(&line);
}

// Shows the language `code` ("" for English) from its catalogue's `size`
// bytes at `bytes` (the caller's; copied) and answers the texts as kelm_start
// does, without touching the chosen file or its settings: the path prompt and
// the status line say the same in the new language; a message stays as it
// was. No bytes, or bytes that are no catalogue, for a language other than
// English: the page stays in the language it shows, and a message says so.
EMSCRIPTEN_KEEPALIVE const char *kelm_use_language(const char *code, const unsigned char *bytes, size_t size) {
    const int wanted = catalogue_index(code);
    // Whether the status line says "Unmodified", read in the words it was written in.
    const bool chosen = patcher_state.profile < EXE_PROFILE_COUNT;
    char unmodified_text[PATCHER_STATUS_SIZE] = "";
    if (chosen) identify_status(unmodified_text, sizeof unmodified_text, &kExeProfiles[patcher_state.profile], 1);
    const bool unmodified = chosen && strcmp(unmodified_text, patcher_state.status) == 0;

    unsigned char *copy = nullptr;
    if (*code && wanted >= 0 && bytes && size > 0 && (copy = (unsigned char *)malloc(size))) {
        memcpy(copy, bytes, size);
        if (!lang_use_catalogue(copy, size)) {
            free(copy);
            copy = nullptr;
        }
    }
    if (copy || !*code) {
        if (!*code) lang_use_catalogue(nullptr, 0);
        free(catalogue);
        catalogue = copy;
        catalogue_size = copy ? size : 0;
        language = copy ? wanted : -1;
    } else {
        // The catalogue in use answers again (a failed one left English).
        lang_use_catalogue(catalogue, catalogue_size);
        char text[MESSAGE_TEXT_SIZE];
        format_into(text, sizeof text, _(kLanguageFailed), wanted >= 0 ? kLangCatalogues[wanted].autonym : code);
        queue_message(&message_popup, MESSAGE_KIND_ERROR, _(kTitleReadingError), text);
    }

    if (!chosen)
        patcher_state.path_len = (int32_t)copy_text(patcher_state.path, sizeof patcher_state.path, _(kPathPrompt));
    else if (patcher_state.status[0])
        identify_status(patcher_state.status, sizeof patcher_state.status, &kExeProfiles[patcher_state.profile], unmodified);
    return texts_answer();
}

EMSCRIPTEN_KEEPALIVE const char *kelm_state(void) { return state_answer(); }

// Holds `size` bytes at `bytes` (from malloc; ours from now on) as the file
// `name`. No bytes: the browser could not read the user's file, and the
// engine then finds nothing under its name, as for a file that is gone.
EMSCRIPTEN_KEEPALIVE void kelm_put(const char *name, unsigned char *bytes, size_t size) {
    if (bytes)
        memory_file_put(name, bytes, size);
    else
        memory_file_drop();
}

// "Browse": identifies the file held under `name`.
EMSCRIPTEN_KEEPALIVE const char *kelm_select(const char *name) {
    note[0] = '\0';
    select_file(name);
    return state_answer();
}

// The held file's bytes, patched or not, for the page to write back.
EMSCRIPTEN_KEEPALIVE const unsigned char *kelm_file_data(void) {
    size_t size;
    return memory_file_bytes(&size);
}

EMSCRIPTEN_KEEPALIVE size_t kelm_file_size(void) {
    size_t size;
    memory_file_bytes(&size);
    return size;
}

// The limit field, as typed: no more characters count than the field holds.
EMSCRIPTEN_KEEPALIVE const char *kelm_set_fps_text(const char *text) {
    char held[FPS_TEXT_SIZE];
    copy_text(held, sizeof held, text);
    patcher_state.fps_limit = fps_limit_from_text(held, patcher_state.fps_limit);
    return state_answer();
}

// The slider.
EMSCRIPTEN_KEEPALIVE const char *kelm_set_fps(int value) {
    patcher_state.fps_limit = fps_limit_clamped(value);
    return state_answer();
}

EMSCRIPTEN_KEEPALIVE const char *kelm_set_music_fix(int on) {
    patcher_state.music_fix = on && music_fix_available(patcher_state.profile) ? 1 : 0;
    return state_answer();
}

EMSCRIPTEN_KEEPALIVE const char *kelm_info(void) {
    show_information();
    return state_answer();
}

// "Patch", on the held copy. The page writes that copy back to the user's
// file only when the answer's message is "info".
EMSCRIPTEN_KEEPALIVE const char *kelm_patch(void) {
    note[0] = '\0';
    apply_patch();
    return state_answer();
}

// The patched copy reached the user: in place (1) or as a download (0).
EMSCRIPTEN_KEEPALIVE const char *kelm_written(int in_place) {
    format_into(note, sizeof note, _(in_place ? kNoteInPlace : kNoteDownload), patcher_state.path);
    return state_answer();
}

// The user's file refused the patched bytes; `reason` is the browser's own,
// or empty where the browser did not give the page leave to write.
EMSCRIPTEN_KEEPALIVE const char *kelm_write_failed(const char *reason) {
    note[0] = '\0';
    report_not_writable(*reason ? reason : _(kNoPermission));
    return state_answer();
}

// A drop on the page that carries no file: a link, a piece of text.
EMSCRIPTEN_KEEPALIVE const char *kelm_drop_refused(void) {
    refuse_drop();
    return state_answer();
}

// "OK" on the popup.
EMSCRIPTEN_KEEPALIVE const char *kelm_dismiss(void) {
    message_popup.visible = 0;
    return state_answer();
}

// One MD5 pass over the held file, for the benchmark's baseline.
EMSCRIPTEN_KEEPALIVE const char *kelm_md5(const char *name) {
    char md5[DIGEST_SIZE] = "";
    file_md5_hex_to(name, md5);
    JsonLine line;
    begin_answer(&line);
    json_string(&line, "md5", md5);
    return end_answer(&line);
}

}  // extern "C"
