#include "popups.h"

#include <errno.h>
#include <string.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "files.h"
#include "patch/catalogue.h"
#include "patch/fileio.h"
#include "render/rows.h"
#include "ui/access_panel.h"
#include "ui/actions.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"
#include "ui/theme.h"

namespace {

// File access whose Nth call of one kind, counted from the start of a patch,
// fails with the longest reason the system has; and, when asked, so does the
// second open for writing, with which the patch would put the bytes back.
enum Step { NONE, OPEN, READ, WRITE, FLUSH, CLOSE };
struct Failing {
    Step step;
    int nth;
    bool reopen_fails;
    int err;
    int calls[6];
} failing;

bool fails(Step step) {
    const int n = ++failing.calls[step];
    if ((failing.step == step && n == failing.nth) || (step == OPEN && failing.reopen_fails && n == 2)) {
        errno = failing.err;
        return true;
    }
    return false;
}
FILE *open_or_fail(const char *path, const char *mode) {
    // Only opening for writing counts: identification reads too.
    return strchr(mode, '+') && fails(OPEN) ? nullptr : open_regular_file(path, mode);
}
size_t read_or_fail(void *buffer, size_t size, size_t count, FILE *file) {
    return fails(READ) ? 0 : fread(buffer, size, count, file);
}
size_t write_or_fail(const void *buffer, size_t size, size_t count, FILE *file) {
    return fails(WRITE) ? 0 : fwrite(buffer, size, count, file);
}
int flush_or_fail(FILE *file) { return fails(FLUSH) ? EOF : fflush(file); }
int close_or_fail(FILE *file) {
    const int result = fclose(file);
    return fails(CLOSE) ? EOF : result;
}
const FileIo kFailingIo = {open_or_fail,  lock_file,     reopen_file, fseek,    read_or_fail,
                           write_or_fail, flush_or_fail, sync_file,   close_or_fail};

int longest_reason() {
    int longest = EIO;
    for (int err = 1; err < 256; ++err)
        if (strlen(error_text(err)) > strlen(error_text(longest)) && strncmp(error_text(err), "Unknown", 7) != 0)
            longest = err;
    return longest;
}

}  // namespace

std::vector<EnginePopup> engine_popups() {
    std::vector<EnginePopup> popups;
    auto take = [&](const std::string &what) {
        popups.push_back({what, message_popup.kind, message_popup.title, message_popup.text});
        message_popup.visible = 0;
    };
    TempDir dir;
    // v1.1 CD-ROM: the edition with a music-loop fix, the longest write.
    const std::string game = dir.path("GAME.EXE"), notes = dir.path("NOTES.TXT");
    write_file(notes, Bytes(100, 'x'));
    auto choose_game = [&] {
        write_file(game, synthetic_exe(kExeProfiles[0], 96));
        select_file(game.c_str());
        patcher_state.music_fix = 1;
    };
    patcher_state_init(&patcher_state);
    actions_io = &kStdioFileIo;

    show_information();
    take("Info");
    apply_patch();
    take("Patch before a file");
    select_file(notes.c_str());
    take("an unsupported file");
    select_file(std::string(300, 'p').c_str());
    take("a path too long");
    refuse_drop();
    take("a drop that is no file");
    choose_game();
    apply_patch();
    take("patched");
    choose_game();
    write_file(game, Bytes(10, 'x'));
    apply_patch();
    take("a file changed since it was chosen");

    const int err = longest_reason();
    const Step steps[] = {OPEN, READ, WRITE, WRITE, FLUSH, CLOSE};
    const int nth[] = {1, 1, 1, 2, 1, 1};   // the second write is the music-loop fix
    const char *names[] = {"opening", "reading", "writing the limit", "writing the fix", "saving", "closing"};
    actions_io = &kFailingIo;
    for (int i = 0; i < 6; ++i) {
        // Before anything is written nothing needs putting back.
        const bool wrote = steps[i] != OPEN && steps[i] != READ;
        for (int not_back = 0; not_back <= (wrote ? 1 : 0); ++not_back) {
            failing = Failing{};
            choose_game();
            failing = Failing{steps[i], nth[i], not_back == 1, err, {}};
            apply_patch();
            take(std::string("failed ") + names[i] + (not_back ? ", not put back" : ""));
        }
    }
    actions_io = &kStdioFileIo;
    return popups;
}

void show_popup(const EnginePopup &popup, const struct nk_user_font *font, const struct nk_image icons[2], int scale,
                const std::function<void(struct nk_context *)> &draw) {
    message_popup.visible = 1;
    message_popup.kind = popup.kind;
    strcpy(message_popup.title, popup.title.c_str());
    strcpy(message_popup.text, popup.text.c_str());
    nk_context ctx;
    nk_init_default(&ctx, font);
    host_set_style(&ctx, HOST_THEME_CRIMSON);
    for (int frame = 0; frame < 2; ++frame) {
        access_begin_frame((float)scale);
        nk_input_begin(&ctx);
        nk_input_end(&ctx);
        if (nk_begin(&ctx, "MainPanel", nk_rect(0, 0, PATCHER_WIDTH, PATCHER_HEIGHT), NK_WINDOW_NO_SCROLLBAR)) {
            declare_main_panel(&ctx, nullptr, icons[0]);
            declare_popup(&ctx, icons);
            access_frame_end(message_popup.visible);
        }
        nk_end(&ctx);
        draw(&ctx);
        nk_clear(&ctx);
    }
    nk_free(&ctx);
}

namespace {

// Which rows of the text as laid out hold a character.
std::vector<int> inked_rows(const struct nk_user_font *font, const std::string &text, float width) {
    std::vector<char> rows(text.size() * 3 + 1);
    const int32_t n = text_rows(font, text.data(), (int32_t)text.size(), width, rows.data(), (int32_t)rows.size());
    std::vector<int> inked;
    int row = 0;
    bool ink = false;
    for (int32_t i = 0; i <= n; ++i) {
        if (i < n && rows[i] != '\r' && rows[i] != '\n') {
            ink = ink || rows[i] != ' ';
            continue;
        }
        if (ink) inked.push_back(row);
        ++row;
        ink = false;
        if (i + 1 < n && rows[i] == '\r' && rows[i + 1] == '\n') ++i;
    }
    return inked;
}

}  // namespace

void expect_rows_apart(const uint32_t *argb, int width, int scale, const struct nk_user_font *font, double pitch,
                       const EnginePopup &popup) {
    SCOPED_TRACE(popup.what + ", at scale " + std::to_string(scale) + ": " + popup.text);
    ASSERT_TRUE(message_popup.visible);
    const AccessRect text = access_tree.nodes[ACCESS_POPUP_TEXT].bounds, ok = access_tree.nodes[ACCESS_POPUP_OK].bounds;
    ASSERT_GT(text.width, 0);
    const int x0 = (int)text.x, y0 = (int)text.y, x1 = (int)(text.x + text.width), y1 = (int)ok.y;
    // The popup's own colour is what most of its text cell shows.
    std::map<uint32_t, int> colours;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) ++colours[argb[y * width + x]];
    const uint32_t background =
        std::max_element(colours.begin(), colours.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;

    // A mark above letters with no ascender (the breve of "й", a line of
    // lower-case Cyrillic) is a band of its own: two bands that together are
    // shorter than a line are one row.
    std::vector<TextBand> bands;
    for (const TextBand &band : text_bands(argb, width, x0, y0, x1, y1, background))
        if (!bands.empty() && band.bottom - bands.back().top + 1 < pitch * 0.9)
            bands.back().bottom = band.bottom;
        else
            bands.push_back(band);
    const std::vector<int> rows = inked_rows(font, popup.text, text.width / (float)scale);
    EXPECT_EQ(rows.size(), bands.size()) << "rows that share pixels merge into one band";
    for (size_t k = 0; k < bands.size() && k < rows.size(); ++k) {
        EXPECT_LT(bands[k].bottom - bands[k].top + 1, pitch) << "band " << k << " is taller than a line";
        EXPECT_NEAR(bands[0].top + (rows[k] - rows[0]) * pitch, bands[k].top, 2.0 * scale)
            << "band " << k << " is off the line grid";
    }
    // Nothing to the right of the cell, where an unbroken line would run on
    // (a glyph's edge may touch the cell's last pixel and the next).
    EXPECT_TRUE(text_bands(argb, width, x1 + 2 * scale, y0, x1 + 12 * scale, y1, background).empty())
        << "ink beyond the cell";
}

std::vector<TextBand> text_bands(const uint32_t *argb, int width, int x0, int y0, int x1, int y1, uint32_t background,
                                 int tolerance) {
    std::vector<TextBand> bands;
    for (int y = y0; y < y1; ++y) {
        bool ink = false;
        for (int x = x0; x < x1 && !ink; ++x) {
            const uint32_t p = argb[(size_t)y * (size_t)width + (size_t)x];
            for (int shift = 0; shift < 24 && !ink; shift += 8) {
                const int a = (int)((p >> shift) & 0xFF), b = (int)((background >> shift) & 0xFF);
                ink = a - b > tolerance || b - a > tolerance;
            }
        }
        if (!ink) continue;
        if (!bands.empty() && bands.back().bottom == y - 1)
            bands.back().bottom = y;
        else
            bands.push_back({y, y});
    }
    return bands;
}
