#include "fit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "lang/lang.h"
#include "patch/catalogue.h"
#include "patch/identify.h"
#include "patch/patch.h"
#include "popups.h"
#include "ui/access.h"
#include "ui/access_panel.h"
#include "ui/actions.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"
#include "ui/theme.h"

namespace {

struct DrawnText {
    std::string text;
    float x, y, w, h;
};

std::vector<DrawnText> texts_of(struct nk_context *ctx) {
    std::vector<DrawnText> out;
    const struct nk_command *cmd;
    nk_foreach(cmd, ctx) {
        if (cmd->type != NK_COMMAND_TEXT) continue;
        const auto *t = (const struct nk_command_text *)cmd;
        out.push_back({std::string(t->string, (size_t)t->length), (float)t->x, (float)t->y, (float)t->w, (float)t->h});
    }
    return out;
}

// Each label drawn as it is: Nuklear cuts what does not fit its widget.
void expect_whole(const std::vector<DrawnText> &drawn, const std::vector<std::string> &labels) {
    for (const std::string &label : labels) {
        bool whole = false, cut = false;
        for (const DrawnText &t : drawn) {
            whole = whole || t.text == label;
            cut = cut || (!t.text.empty() && label.compare(0, t.text.size(), t.text) == 0);
        }
        EXPECT_TRUE(whole) << "\"" << label << "\" is " << (cut ? "cut short" : "not drawn");
    }
}

// A widget's text within the widget, as wide as the font measures it (the
// text command's own box is Nuklear's, and a right-aligned label that is too
// wide starts at the cell's left and runs on under the next widget).
void expect_inside(const std::vector<DrawnText> &drawn, const struct nk_user_font *font, uint8_t node, int scale) {
    const AccessNode &n = access_tree.nodes[node];
    const float left = n.bounds.x / (float)scale, right = (n.bounds.x + n.bounds.width) / (float)scale;
    for (const DrawnText &t : drawn)
        if (t.text == n.name && t.x >= left - 0.5f && t.x < right) {
            const float width = font->width(font->userdata, font->height, t.text.data(), (int)t.text.size());
            EXPECT_LE(t.x + width, right + 0.5f) << "\"" << t.text << "\" runs past its widget";
            return;
        }
    ADD_FAILURE() << "\"" << n.name << "\" is not drawn in its widget";
}

void expect_apart(const std::vector<DrawnText> &drawn) {
    for (size_t i = 0; i < drawn.size(); ++i)
        for (size_t j = i + 1; j < drawn.size(); ++j) {
            const DrawnText &a = drawn[i], &b = drawn[j];
            const bool overlap = a.x < b.x + b.w - 0.5f && b.x < a.x + a.w - 0.5f && a.y < b.y + b.h - 0.5f &&
                                 b.y < a.y + a.h - 0.5f;
            EXPECT_FALSE(overlap) << "\"" << a.text << "\" and \"" << b.text << "\" overlap";
        }
}

void expect_marked(const std::vector<DrawnText> &drawn) {
    for (const DrawnText &t : drawn) {
        const bool exempt = t.text == kLabelCredit || t.text.find_first_not_of("0123456789") == std::string::npos ||
                            t.text[0] == '/';
        EXPECT_TRUE(exempt || t.text.find("[[") != std::string::npos) << "\"" << t.text << "\" is not translated";
    }
}

// The panel with the state as it stands, one frame, checked.
void expect_frame_fits(const struct nk_user_font *font, int scale, struct nk_image gear, Check check) {
    SCOPED_TRACE(std::string("status \"") + patcher_state.status + "\", at scale " + std::to_string(scale));
    nk_context ctx;
    nk_init_default(&ctx, font);
    host_set_style(&ctx, HOST_THEME_CRIMSON);
    access_begin_frame((float)scale);
    nk_input_begin(&ctx);
    nk_input_end(&ctx);
    if (nk_begin(&ctx, "MainPanel", nk_rect(0, 0, PATCHER_WIDTH, PATCHER_HEIGHT), NK_WINDOW_NO_SCROLLBAR)) {
        declare_main_panel(&ctx, nullptr, gear);
        access_frame_end(0);
    }
    nk_end(&ctx);
    const std::vector<DrawnText> drawn = texts_of(&ctx);
    if (check == Check::TRANSLATED) {
        expect_marked(drawn);
        nk_free(&ctx);
        return;
    }
    expect_whole(drawn, {_(kLabelBrowse), _(kLabelFpsLimit), _(kLabelInfo), kLabelCredit, _(kLabelPatch),
                         music_fix_label(patcher_state.profile)});
    for (uint8_t node : {ACCESS_PATH, ACCESS_BROWSE, ACCESS_LIMIT_LABEL, ACCESS_MUSIC_FIX, ACCESS_INFO, ACCESS_CREDIT,
                         ACCESS_PATCH})
        expect_inside(drawn, font, node, scale);
    if (patcher_state.status[0]) expect_inside(drawn, font, ACCESS_STATUS, scale);
    expect_apart(drawn);
    nk_free(&ctx);
}

}  // namespace

void expect_panel_fits(const struct nk_user_font *font, int scale, struct nk_image gear, Check check) {
    patcher_state_init(&patcher_state);
    message_popup.visible = 0;
    expect_frame_fits(font, scale, gear, check);   // nothing chosen: the prompt and the long music-fix label
    // Every edition, as changed and as shipped (the latter by a catalogue
    // whose digest is the synthetic file's).
    TempDir dir;
    const std::string game = dir.path("GAME.EXE");
    for (int i = 0; i < EXE_PROFILE_COUNT; ++i) {
        write_file(game, synthetic_exe(kExeProfiles[i], 30));
        select_file(game.c_str());
        ASSERT_EQ(i, patcher_state.profile);
        expect_frame_fits(font, scale, gear, check);
        ExeProfile rows[EXE_PROFILE_COUNT];
        std::copy(kExeProfiles, kExeProfiles + EXE_PROFILE_COUNT, rows);
        IdentifyResult r;
        identify_file(game.c_str(), &r);
        rows[i].md5_hex = r.md5;
        const Catalogue shipped = {rows, EXE_PROFILE_COUNT, kMusicFixes, 2};
        identify_file(game.c_str(), &r, &shipped, &kStdioFileIo);
        ASSERT_TRUE(r.unmodified);
        // The status whole: never cut by its buffer.
        EXPECT_EQ(tr_format(_("Unmodified %s"), _(kExeProfiles[i].edition_name)), r.status);
        strcpy(patcher_state.status, r.status);
        expect_frame_fits(font, scale, gear, check);
    }
}

void expect_popups_fit(const struct nk_user_font *font, int scale, const struct nk_image icons[2],
                       const std::function<DrawnFrame(struct nk_context *)> &draw, Check check) {
    for (const EnginePopup &popup : engine_popups()) {
        DrawnFrame frame{};
        std::vector<DrawnText> drawn;
        show_popup(popup, font, icons, scale, [&](nk_context *ctx) {
            drawn = texts_of(ctx);
            frame = draw(ctx);
        });
        SCOPED_TRACE(popup.what);
        if (check == Check::TRANSLATED) {
            expect_marked(drawn);
            continue;
        }
        // Never near the end of a buffer it went through, where it would have been cut.
        EXPECT_LT(popup.text.size() + 8, sizeof(PatchOutcome::error)) << popup.text;
        expect_whole(drawn, {popup.title, _(kLabelOk)});
        expect_rows_apart(frame.argb, frame.width, scale, font, frame.pitch, popup);
    }
}
