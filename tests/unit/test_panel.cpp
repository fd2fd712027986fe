#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "host/chooser.h"
#include "fixed_font.h"
#include "patch/identify.h"
#include "ui/access_panel.h"
#include "ui/patcher_ui.h"
#include "ui/state.h"
#include "ui/theme.h"

extern const char *fake_chosen_path;
extern int fake_chooser_calls;
extern int fake_drop;
extern const char *fake_dropped_path;

namespace {

// What one frame drew, enough to find widgets and read what they show.
struct Drawn {
    nk_command_type type;
    struct nk_rect rect;
    std::string text;
    void *image;
};

int empty_tag, ticked_tag, gear_tag, cross_tag, tick_tag;

// The patcher window without a platform: a Nuklear context with a font of
// fixed character width, the theme and skins start-up applies, and input fed
// frame by frame as the event pump would.
class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        fixed_font_init(&font);
        nk_init_default(&ctx, &font);
        images.gear_image = nk_image_ptr(&gear_tag);
        images.box_empty_image = nk_image_ptr(&empty_tag);
        images.box_ticked_image = nk_image_ptr(&ticked_tag);
        images.popup_icons[0] = nk_image_ptr(&cross_tag);
        images.popup_icons[1] = nk_image_ptr(&tick_tag);
        host_set_style(&ctx, HOST_THEME_CRIMSON);
        apply_skins(&ctx, images.box_empty_image, images.box_ticked_image);
        patcher_state_init(&patcher_state);
        memset(&message_popup, 0, sizeof message_popup);
        fake_chosen_path = nullptr;
        fake_chooser_calls = 0;
        fake_drop = HOST_DROP_NONE;
        access_reset();
        access_begin_frame(1.0f);
        frame();
    }
    void TearDown() override { nk_free(&ctx); }

    void frame(const std::function<void(nk_context *)> &input = nullptr) {
        nk_input_begin(&ctx);
        if (input) input(&ctx);
        nk_input_end(&ctx);
        patcher_frame(&ctx, nullptr, &images);
        drawn.clear();
        for (const nk_command *c = nk__begin(&ctx); c; c = nk__next(&ctx, c)) {
            Drawn d{c->type, nk_rect(0, 0, 0, 0), "", nullptr};
            if (c->type == NK_COMMAND_TEXT) {
                auto *t = (const nk_command_text *)c;
                d.rect = nk_rect(t->x, t->y, t->w, t->h);
                d.text.assign(t->string, (size_t)t->length);
            } else if (c->type == NK_COMMAND_IMAGE) {
                auto *i = (const nk_command_image *)c;
                d.rect = nk_rect(i->x, i->y, i->w, i->h);
                d.image = i->img.handle.ptr;
            } else if (c->type == NK_COMMAND_CIRCLE_FILLED) {
                auto *e = (const nk_command_circle_filled *)c;
                d.rect = nk_rect(e->x, e->y, e->w, e->h);
            }
            drawn.push_back(d);
        }
        nk_clear(&ctx);
    }

    const Drawn *find_text(const std::string &text) const {
        for (const Drawn &d : drawn)
            if (d.type == NK_COMMAND_TEXT && d.text == text) return &d;
        return nullptr;
    }
    bool shows(const std::string &text) const { return find_text(text) != nullptr; }
    const Drawn *find_image(void *handle) const {
        for (const Drawn &d : drawn)
            if (d.type == NK_COMMAND_IMAGE && d.image == handle) return &d;
        return nullptr;
    }

    // A press (buttons fire on press) then a release, in two frames; what the
    // press frame drew is kept in `pressed`.
    void click(float x, float y) {
        frame([&](nk_context *c) {
            nk_input_motion(c, (int)x, (int)y);
            nk_input_button(c, NK_BUTTON_LEFT, (int)x, (int)y, 1);
        });
        pressed = drawn;
        frame([&](nk_context *c) { nk_input_button(c, NK_BUTTON_LEFT, (int)x, (int)y, 0); });
    }
    void click_text(const std::string &text) {
        const Drawn *d = find_text(text);
        ASSERT_NE(nullptr, d) << "'" << text << "' is not on screen";
        click(d->rect.x + d->rect.w / 2, d->rect.y + d->rect.h / 2);
    }
    // Puts the text cursor at the end of the frame-rate field.
    void focus_fps_field() {
        const Drawn *d = find_text(std::to_string(patcher_state.fps_limit));
        ASSERT_NE(nullptr, d);
        click(d->rect.x + d->rect.w + 20, d->rect.y + d->rect.h / 2);
    }
    void type(const char *chars) {
        for (const char *p = chars; *p; ++p) frame([&](nk_context *c) { nk_input_unicode(c, (nk_rune)*p); });
    }
    void key(nk_keys k) {
        frame([&](nk_context *c) { nk_input_key(c, k, 1); });
        frame([&](nk_context *c) { nk_input_key(c, k, 0); });
    }
    std::string browse_to(size_t row, uint8_t fps) {
        std::string path = dir.path("game" + std::to_string(row) + ".exe");
        write_file(path, synthetic_exe(kExeProfiles[row], fps));
        fake_chosen_path = path.c_str();
        chosen = path;
        fake_chosen_path = chosen.c_str();
        click_text("Browse");
        return path;
    }

    nk_context ctx;
    nk_user_font font;
    PatcherImages images;
    std::vector<Drawn> drawn, pressed;
    TempDir dir;
    std::string chosen;
};

TEST_F(Panel, FirstFrame) {
    EXPECT_TRUE(shows("Choose Quelmor: Thornmere executable..."));
    EXPECT_TRUE(shows("96"));
    EXPECT_TRUE(shows("Fix music loop (v1.1 CD-ROM or v1.1 Floppy Edition only)"));
    EXPECT_TRUE(shows("FPS limit (recommended <= 30):"));
    EXPECT_TRUE(shows("2024 ostrel"));
    EXPECT_NE(nullptr, find_image(&gear_tag));
    EXPECT_EQ(nullptr, find_image(&ticked_tag));
    EXPECT_STREQ("", patcher_state.status);
    EXPECT_EQ(0, message_popup.visible);
}

TEST_F(Panel, FrameRateFieldTakesOnly1To255) {
    focus_fps_field();
    key(NK_KEY_LEFT);
    type("-");   // "9-6" reads as 9
    EXPECT_EQ(9, patcher_state.fps_limit);
    frame();
    EXPECT_TRUE(shows("9"));
    EXPECT_FALSE(shows("9-6"));

    patcher_state.fps_limit = 96;
    frame();
    focus_fps_field();
    type("3");   // "963"
    EXPECT_EQ(96, patcher_state.fps_limit);
    frame();
    EXPECT_TRUE(shows("96"));

    patcher_state.fps_limit = 5;
    frame();
    focus_fps_field();
    key(NK_KEY_BACKSPACE);   // "" reads as 0: refused, the 5 comes back
    EXPECT_EQ(5, patcher_state.fps_limit);
    frame();
    EXPECT_TRUE(shows("5"));
}

TEST_F(Panel, FourthCharacterIsIgnored) {
    patcher_state.fps_limit = 12;
    frame();
    focus_fps_field();
    type("3");
    EXPECT_EQ(123, patcher_state.fps_limit);
    type("4");
    frame();
    EXPECT_EQ(123, patcher_state.fps_limit);
    EXPECT_TRUE(shows("123"));
}

TEST_F(Panel, DraggingTheSliderChangesTheLimitAtOnce) {
    const Drawn *knob = nullptr;
    for (const Drawn &d : drawn)
        if (d.type == NK_COMMAND_CIRCLE_FILLED) knob = &d;
    ASSERT_NE(nullptr, knob);
    float x = knob->rect.x + knob->rect.w / 2, y = knob->rect.y + knob->rect.h / 2;
    frame([&](nk_context *c) {
        nk_input_motion(c, (int)x, (int)y);
        nk_input_button(c, NK_BUTTON_LEFT, (int)x, (int)y, 1);
    });
    frame([&](nk_context *c) { nk_input_motion(c, (int)x + 100, (int)y); });
    EXPECT_GT(patcher_state.fps_limit, 96);
    int dragged = patcher_state.fps_limit;
    frame();
    EXPECT_TRUE(shows(std::to_string(dragged)));
}

TEST_F(Panel, ZeroFrameRateByteShowsOnceThenOne) {
    browse_to(3, 0);
    EXPECT_EQ(1, fake_chooser_calls);
    EXPECT_EQ(3, patcher_state.profile);
    bool zero_shown = false;   // in the frame of the click, the field showed the byte as read
    for (const Drawn &d : pressed) zero_shown |= d.type == NK_COMMAND_TEXT && d.text == "0";
    EXPECT_TRUE(zero_shown);
    EXPECT_EQ(1, patcher_state.fps_limit);   // the slider, declared after the field, lifted it
    frame();
    EXPECT_TRUE(shows("1"));
    EXPECT_TRUE(shows("Modified v1.0 CD-ROM edition"));
}

TEST_F(Panel, MusicFixSticksOnlyForTheV11Editions) {
    browse_to(0, 30);
    EXPECT_TRUE(shows("Fix music loop"));
    click_text("Fix music loop");
    EXPECT_EQ(1, patcher_state.music_fix);
    frame();
    const Drawn *empty = find_image(&empty_tag), *ticked = find_image(&ticked_tag);
    ASSERT_NE(nullptr, empty);
    ASSERT_NE(nullptr, ticked);
    // The tick covers exactly the empty box's square.
    EXPECT_EQ(empty->rect.x, ticked->rect.x);
    EXPECT_EQ(empty->rect.y, ticked->rect.y);
    EXPECT_EQ(empty->rect.w, ticked->rect.w);
    EXPECT_EQ(empty->rect.h, ticked->rect.h);
    EXPECT_EQ(font.height, empty->rect.h);

    browse_to(1, 30);   // another v1.1 edition keeps the tick
    EXPECT_EQ(1, patcher_state.music_fix);
    browse_to(4, 30);
    EXPECT_EQ(0, patcher_state.music_fix);
    click_text("Fix music loop (v1.1 CD-ROM or v1.1 Floppy Edition only)");
    EXPECT_EQ(0, patcher_state.music_fix);
    EXPECT_EQ(nullptr, find_image(&ticked_tag));
}

TEST_F(Panel, PopupShowsAtOnceAndBlocksThePanelUntilOk) {
    click_text("Info");
    EXPECT_EQ(1, message_popup.visible);
    EXPECT_STREQ("Information", message_popup.title);
    frame();
    EXPECT_TRUE(shows("Information"));
    EXPECT_NE(nullptr, find_image(&tick_tag));

    click_text("Browse");
    click_text("Patch");
    EXPECT_EQ(0, fake_chooser_calls);
    EXPECT_STREQ("Information", message_popup.title);

    click_text("OK");
    EXPECT_EQ(0, message_popup.visible);
    frame();
    EXPECT_FALSE(shows("Information"));
    click_text("Info");   // the same message can come again
    EXPECT_EQ(1, message_popup.visible);
}

TEST_F(Panel, PatchBeforeAFileIsAReadingError) {
    click_text("Patch");
    EXPECT_EQ(1, message_popup.visible);
    EXPECT_EQ(0u, message_popup.kind);
    EXPECT_STREQ("Reading error", message_popup.title);
    frame();
    EXPECT_NE(nullptr, find_image(&cross_tag));
}

TEST_F(Panel, CancelledBrowseChangesNothing) {
    click_text("Browse");
    EXPECT_EQ(1, fake_chooser_calls);
    EXPECT_STREQ(kPathPrompt, patcher_state.path);
    EXPECT_EQ(0, message_popup.visible);
}

// A drop chooses as "Browse" does, in the frame that takes it, and clears a
// message left from the last choice; a refused drop says why and keeps the file.
TEST_F(Panel, DroppedFileIsChosenAsBrowseChoosesIt) {
    click_text("Patch");   // a reading error is showing
    ASSERT_EQ(1, message_popup.visible);
    std::string path = dir.path("dropped.exe");
    write_file(path, synthetic_exe(kExeProfiles[3], 44));
    fake_drop = HOST_DROP_FILE;
    fake_dropped_path = path.c_str();
    frame();
    EXPECT_EQ(0, fake_chooser_calls);
    EXPECT_EQ(0, message_popup.visible);
    EXPECT_STREQ(path.c_str(), patcher_state.path);
    EXPECT_EQ(3, patcher_state.profile);
    EXPECT_EQ(44, patcher_state.fps_limit);
    EXPECT_TRUE(shows("44"));

    fake_drop = HOST_DROP_REFUSED;
    frame();
    EXPECT_EQ(1, message_popup.visible);
    EXPECT_EQ(0u, message_popup.kind);
    EXPECT_STREQ(kTitleDropRefused, message_popup.title);
    EXPECT_STREQ(path.c_str(), patcher_state.path);
    EXPECT_EQ(3, patcher_state.profile);

    std::string junk = dir.path("notes.txt");
    write_file(junk, std::vector<uint8_t>(100, 'x'));
    fake_drop = HOST_DROP_FILE;
    fake_dropped_path = junk.c_str();
    frame();
    EXPECT_STREQ(kTitleUnsupported, message_popup.title);
    EXPECT_EQ(NO_PROFILE, patcher_state.profile);
    // The new message replaces the one that was up, on screen too.
    frame();
    EXPECT_EQ(1, message_popup.visible);
    EXPECT_TRUE(shows(kTitleUnsupported));
    EXPECT_FALSE(shows(kTitleDropRefused));
}

TEST_F(Panel, PathThatIsNotUtf8IsShownReadably) {
    // A Latin-1 "é" is no UTF-8: the field must not hand Nuklear a broken sequence.
    const char *chosen_bytes = "C:\\Games\\Caf\xE9\\QUELMOR.EXE";
    strcpy(patcher_state.path, chosen_bytes);
    patcher_state.path_len = (int32_t)strlen(chosen_bytes);
    frame();
    bool found = false;
    for (const Drawn &d : drawn) {
        if (d.type != NK_COMMAND_TEXT || d.text.find("QUELMOR") == std::string::npos) continue;
        found = true;
        EXPECT_EQ(std::string::npos, d.text.find('\xE9'));
        EXPECT_NE(std::string::npos, d.text.find("Caf"));
    }
    EXPECT_TRUE(found);
    EXPECT_STREQ(chosen_bytes, patcher_state.path);   // the file functions keep the bytes
}

// --- keyboard and the accessible description ---------------------------------------

class Keyboard : public Panel {
  protected:
    // A key the host handed to the panel, then the frame that takes it.
    void press(AccessKey key, bool shift = false) {
        access_key(key, shift);
        frame();
    }
    uint8_t focus() const { return access_tree.focus; }
    const AccessNode &node(uint8_t id) const { return access_tree.nodes[id]; }
    // The ring: the only strokes two pixels wide, in the theme's text colour.
    int rings() const {
        int n = 0;
        for (const Drawn &d : drawn) n += d.type == NK_COMMAND_RECT && d.rect.w == 2;
        return n;
    }
    void frame_keeping_rects() {
        frame();
        drawn.clear();
        nk_input_begin(&ctx);
        nk_input_end(&ctx);
        patcher_frame(&ctx, nullptr, &images);
        for (const nk_command *c = nk__begin(&ctx); c; c = nk__next(&ctx, c))
            if (c->type == NK_COMMAND_RECT) {
                auto *r = (const nk_command_rect *)c;
                EXPECT_TRUE(r->line_thickness != 2 || (r->color.r == ctx.style.text.color.r &&
                                                       r->color.g == ctx.style.text.color.g));
                drawn.push_back({c->type, nk_rect(r->x, r->y, r->line_thickness, r->h), "", nullptr});
            }
        nk_clear(&ctx);
    }
};

TEST_F(Keyboard, TabGoesRoundInOrderSkippingTheDisabledBox) {
    std::vector<uint8_t> seen;
    for (int i = 0; i < 6; i++) {
        press(ACCESS_KEY_TAB);
        seen.push_back(focus());
    }
    EXPECT_EQ((std::vector<uint8_t>{ACCESS_BROWSE, ACCESS_LIMIT_FIELD, ACCESS_SLIDER, ACCESS_INFO, ACCESS_PATCH,
                                    ACCESS_BROWSE}),
              seen);
    press(ACCESS_KEY_TAB, true);
    EXPECT_EQ(ACCESS_PATCH, focus());

    browse_to(0, 30);   // a v1.1 edition: the box takes the focus too
    for (int i = 0; i < 3; i++) press(ACCESS_KEY_TAB, true);
    EXPECT_EQ(ACCESS_MUSIC_FIX, focus());
    press(ACCESS_KEY_SPACE);
    EXPECT_EQ(1, patcher_state.music_fix);
    EXPECT_TRUE(node(ACCESS_MUSIC_FIX).states & ACCESS_STATE_CHECKED);
    // A file without a fix dropped: the focus leaves the box that went disabled.
    std::string path = dir.path("dropped.exe");
    write_file(path, synthetic_exe(kExeProfiles[4], 30));
    fake_drop = HOST_DROP_FILE;
    fake_dropped_path = path.c_str();
    frame();
    EXPECT_EQ(ACCESS_INFO, focus());
    EXPECT_TRUE(node(ACCESS_MUSIC_FIX).states & ACCESS_STATE_DISABLED);
}

TEST_F(Keyboard, KeysMoveTheSliderAndTypeIntoTheField) {
    press(ACCESS_KEY_TAB);
    press(ACCESS_KEY_TAB);   // the limit field: typing goes in
    frame([](nk_context *c) { nk_input_key(c, NK_KEY_BACKSPACE, 1); });
    frame([](nk_context *c) { nk_input_key(c, NK_KEY_BACKSPACE, 0); });
    type("4");
    EXPECT_EQ(94, patcher_state.fps_limit);
    EXPECT_EQ(0, access_key(ACCESS_KEY_LEFT, false)) << "arrows in the field move its caret";

    press(ACCESS_KEY_TAB);   // the slider: the field lets go
    type("1");
    EXPECT_EQ(94, patcher_state.fps_limit);
    press(ACCESS_KEY_RIGHT);
    EXPECT_EQ(95, patcher_state.fps_limit);
    press(ACCESS_KEY_PAGE_DOWN);
    EXPECT_EQ(85, patcher_state.fps_limit);
    press(ACCESS_KEY_END);
    press(ACCESS_KEY_UP);
    EXPECT_EQ(255, patcher_state.fps_limit);
    press(ACCESS_KEY_HOME);
    press(ACCESS_KEY_PAGE_DOWN);
    EXPECT_EQ(1, patcher_state.fps_limit);
    frame();
    EXPECT_TRUE(shows("1"));
    EXPECT_EQ(1, node(ACCESS_LIMIT_FIELD).value);
    EXPECT_EQ(1, node(ACCESS_SLIDER).value);
}

TEST_F(Keyboard, ThePopupTakesTheFocusAndGivesItBack) {
    for (int i = 0; i < 4; i++) press(ACCESS_KEY_TAB);   // "Info"
    press(ACCESS_KEY_ENTER);
    EXPECT_STREQ("Information", message_popup.title);
    EXPECT_EQ(ACCESS_POPUP_OK, focus());
    press(ACCESS_KEY_TAB);
    press(ACCESS_KEY_OPEN);
    EXPECT_EQ(ACCESS_POPUP_OK, focus());
    EXPECT_EQ(0, fake_chooser_calls);
    press(ACCESS_KEY_ESCAPE);
    EXPECT_EQ(0, message_popup.visible);
    EXPECT_EQ(ACCESS_INFO, focus());
    press(ACCESS_KEY_OPEN);   // Ctrl+O from anywhere
    EXPECT_EQ(1, fake_chooser_calls);
}

TEST_F(Keyboard, TheRingShowsAfterAKeyAndGoesWithAClick) {
    frame_keeping_rects();
    EXPECT_EQ(0, rings());
    access_key(ACCESS_KEY_TAB, false);
    frame_keeping_rects();
    EXPECT_EQ(1, rings());
    frame();
    click_text("Info");
    click_text("OK");
    frame_keeping_rects();
    EXPECT_EQ(0, rings());
    EXPECT_EQ(ACCESS_INFO, focus()) << "a click gives the widget the focus";
}

TEST_F(Keyboard, TheTreeNamesWhatIsDrawnAndScalesItsBounds) {
    EXPECT_STREQ(kPatcherTitle, node(ACCESS_PANEL).name);
    EXPECT_STREQ("Browse", node(ACCESS_BROWSE).name);
    EXPECT_EQ(ACCESS_ROLE_SLIDER, node(ACCESS_SLIDER).role);
    EXPECT_STREQ("FPS limit (recommended <= 30):", node(ACCESS_SLIDER).name);
    EXPECT_EQ(255, node(ACCESS_SLIDER).maximum);
    EXPECT_FALSE(node(ACCESS_POPUP).present);
    const AccessRect one = node(ACCESS_PATCH).bounds;
    access_begin_frame(2.0f);
    frame();
    EXPECT_FLOAT_EQ(one.x * 2, node(ACCESS_PATCH).bounds.x);
    EXPECT_FLOAT_EQ(one.height * 2, node(ACCESS_PATCH).bounds.height);

    // What changed is reported root first, the new focus last.
    static AccessTree before;
    before = access_tree;
    browse_to(4, 30);
    access_push({ACCESS_DO_ACTIVATE, ACCESS_PATCH, 0});
    frame();
    ASSERT_TRUE(node(ACCESS_POPUP).present);
    EXPECT_STREQ("Success", node(ACCESS_POPUP).name);
    EXPECT_EQ(ACCESS_ROLE_DIALOG, node(ACCESS_POPUP).role);
    std::vector<std::pair<uint8_t, uint8_t>> changes;
    access_changes(&before, &access_tree, [](void *out, uint8_t id, uint8_t change, uint32_t) {
        ((std::vector<std::pair<uint8_t, uint8_t>> *)out)->push_back({id, change});
    }, &changes);
    auto has = [&](uint8_t id, uint8_t change) {
        return std::find(changes.begin(), changes.end(), std::make_pair(id, change)) != changes.end();
    };
    EXPECT_TRUE(has(ACCESS_STATUS, ACCESS_CHANGE_NAME));
    EXPECT_TRUE(has(ACCESS_POPUP, ACCESS_CHANGE_SHOWN));
    EXPECT_FALSE(has(ACCESS_POPUP_OK, ACCESS_CHANGE_NAME)) << "a node shown reports nothing else";
    EXPECT_EQ(std::make_pair((uint8_t)ACCESS_POPUP_OK, (uint8_t)ACCESS_CHANGE_FOCUS), changes.back());
}

TEST_F(Keyboard, ScreenReaderActionsWaitTheirTurnAndObeyThePopup) {
    access_push({ACCESS_DO_SET_LIMIT, ACCESS_SLIDER, 300});
    access_push({ACCESS_DO_ACTIVATE, ACCESS_INFO, 0});
    access_push({ACCESS_DO_ACTIVATE, ACCESS_BROWSE, 0});   // under the popup: dropped
    access_push({ACCESS_DO_ACTIVATE, ACCESS_POPUP_OK, 0});
    EXPECT_TRUE(access_pending());
    frame();
    EXPECT_EQ(255, patcher_state.fps_limit);
    EXPECT_EQ(0, message_popup.visible) << "one action a frame";
    frame();
    EXPECT_EQ(1, message_popup.visible);
    frame();
    frame();
    EXPECT_EQ(0, message_popup.visible);
    EXPECT_EQ(0, fake_chooser_calls);
    frame();
    EXPECT_FALSE(access_pending());
}

TEST(Theme, CrimsonColumnAndDefaults) {
    nk_user_font font{};
    font.width = fixed_width;
    nk_context themed, reference;
    nk_init_default(&themed, &font);
    nk_init_default(&reference, &font);

    host_set_style(&themed, HOST_THEME_CRIMSON);
    const struct nk_style &s = themed.style;
    auto same = [](nk_color a, nk_color b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; };
    EXPECT_TRUE(same(nk_rgba(30, 33, 40, 255), s.window.fixed_background.data.color));
    EXPECT_TRUE(same(nk_rgba(51, 55, 67, 225), s.edit.normal.data.color));
    EXPECT_TRUE(same(nk_rgba(181, 45, 69, 255), s.button.normal.data.color));
    EXPECT_TRUE(same(nk_rgba(190, 50, 70, 255), s.button.hover.data.color));
    EXPECT_TRUE(same(nk_rgba(195, 55, 75, 255), s.button.active.data.color));
    EXPECT_TRUE(same(nk_rgba(190, 190, 190, 255), s.text.color));
    EXPECT_TRUE(same(nk_rgba(181, 45, 69, 255), s.window.header.normal.data.color));
    EXPECT_TRUE(same(nk_rgba(181, 45, 69, 220), s.tab.background.data.color));

    // A second call drops the skin and padding overrides.
    int box = 0;
    apply_skins(&themed, nk_image_ptr(&box), nk_image_ptr(&box));
    host_set_style(&themed, HOST_THEME_CRIMSON);
    EXPECT_EQ(NK_STYLE_ITEM_COLOR, s.checkbox.normal.type);
    EXPECT_EQ(0.0f, s.checkbox.border);
    EXPECT_EQ(4.0f, s.window.padding.x);
    EXPECT_EQ(4.0f, s.window.padding.y);

    // Any other number is Nuklear's default style. Compared field by field:
    // the records hold padding bytes, whose contents no call promises.
    nk_style_default(&reference);
    const struct nk_style &r = reference.style;
    for (int theme : {0, 5, -1}) {
        SCOPED_TRACE(theme);
        host_set_style(&themed, theme);
        EXPECT_TRUE(same(r.text.color, s.text.color));
        EXPECT_TRUE(same(r.window.fixed_background.data.color, s.window.fixed_background.data.color));
        EXPECT_TRUE(same(r.window.header.normal.data.color, s.window.header.normal.data.color));
        EXPECT_TRUE(same(r.button.normal.data.color, s.button.normal.data.color));
        EXPECT_TRUE(same(r.edit.normal.data.color, s.edit.normal.data.color));
        EXPECT_TRUE(same(r.slider.cursor_normal.data.color, s.slider.cursor_normal.data.color));
        EXPECT_TRUE(same(r.checkbox.normal.data.color, s.checkbox.normal.data.color));
        EXPECT_EQ(r.window.padding.x, s.window.padding.x);
        EXPECT_EQ(r.checkbox.border, s.checkbox.border);
    }
    nk_free(&themed);
    nk_free(&reference);
}

}  // namespace
