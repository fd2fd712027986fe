// GDK events, made here, through the GTK host's translation into Nuklear
// input. No display is needed: the translation reads only the event and the
// record.
#include <gtest/gtest.h>

#include "../unit/fixed_font.h"
#include "host/host.h"

namespace {

class GtkInput : public ::testing::Test {
  protected:
    void SetUp() override {
        fixed_font_init(&font);
        nk_init_default(&host.context, &font);
        host.ctx = &host.context;
        host.shared.mode = HOST_MODE_FIXED;
        host.shared.logical_width = host.shared.output_width = 500;
        host.shared.logical_height = host.shared.output_height = 223;
        nk_input_begin(host.ctx);
    }
    void TearDown() override { nk_free(&host.context); }

    int key(guint keyval, bool down, guint state = 0) {
        GdkEventKey e = {};
        e.type = down ? GDK_KEY_PRESS : GDK_KEY_RELEASE;
        e.keyval = keyval;
        e.state = state;
        return host_handle_event(&host, (GdkEvent *)&e);
    }
    int button(GdkEventType type, guint which, double x, double y) {
        GdkEventButton e = {};
        e.type = type;
        e.button = which;
        e.x = x;
        e.y = y;
        return host_handle_event(&host, (GdkEvent *)&e);
    }
    const nk_key &nk(nk_keys which) const { return host.context.input.keyboard.keys[which]; }

    HostWindow host{};
    struct nk_user_font font;
};

TEST_F(GtkInput, KeyTableWithAndWithoutCtrl) {
    const struct {
        guint keyval;
        guint state;
        nk_keys expected;
    } taken[] = {
        {GDK_KEY_BackSpace, 0, NK_KEY_BACKSPACE}, {GDK_KEY_KP_Enter, 0, NK_KEY_ENTER},
        {GDK_KEY_Shift_R, 0, NK_KEY_SHIFT},       {GDK_KEY_End, 0, NK_KEY_SCROLL_END},
        {GDK_KEY_Left, 0, NK_KEY_LEFT},           {GDK_KEY_Left, GDK_CONTROL_MASK, NK_KEY_TEXT_WORD_LEFT},
        {GDK_KEY_v, GDK_CONTROL_MASK, NK_KEY_PASTE}, {GDK_KEY_Z, GDK_CONTROL_MASK | GDK_SHIFT_MASK, NK_KEY_TEXT_UNDO},
    };
    for (const auto &k : taken) {
        SCOPED_TRACE(k.keyval);
        EXPECT_EQ(1, key(k.keyval, true, k.state));
        EXPECT_TRUE(nk(k.expected).down);
        EXPECT_EQ(1, key(k.keyval, false, k.state));
        EXPECT_FALSE(nk(k.expected).down);
    }
    // Letters without Ctrl are text for the input method, not shortcuts; Ctrl+A
    // (select all) and F-keys are not Nuklear's.
    EXPECT_EQ(0, key(GDK_KEY_v, true));
    EXPECT_FALSE(nk(NK_KEY_PASTE).down);
    EXPECT_EQ(0, key(GDK_KEY_a, true, GDK_CONTROL_MASK));
    EXPECT_EQ(0, key(GDK_KEY_F10, true));
    EXPECT_EQ(GDK_KEY_F10, (guint)host.event_code) << "the poll reports the last key that went down";
}

TEST_F(GtkInput, ButtonsMotionAndWheel) {
    EXPECT_EQ(1, button(GDK_BUTTON_PRESS, 1, 40.7, 50.2));
    EXPECT_TRUE(host.context.input.mouse.buttons[NK_BUTTON_LEFT].down);
    EXPECT_EQ(40, (int)host.context.input.mouse.buttons[NK_BUTTON_LEFT].clicked_pos.x);
    EXPECT_EQ(1, button(GDK_BUTTON_RELEASE, 1, 41, 50));
    EXPECT_FALSE(host.context.input.mouse.buttons[NK_BUTTON_LEFT].down);
    EXPECT_EQ(1, button(GDK_BUTTON_PRESS, 3, 1, 1));
    EXPECT_TRUE(host.context.input.mouse.buttons[NK_BUTTON_RIGHT].down);
    EXPECT_EQ(0, button(GDK_BUTTON_PRESS, 8, 1, 1)) << "side buttons are not Nuklear's";

    // A release lost to a modal dialog does not swallow the next press.
    nk_input_end(host.ctx);
    nk_input_begin(host.ctx);
    button(GDK_BUTTON_PRESS, 1, 5, 5);
    nk_input_end(host.ctx);
    nk_input_begin(host.ctx);
    button(GDK_BUTTON_PRESS, 1, 9, 9);
    EXPECT_TRUE(nk_input_is_mouse_pressed(&host.context.input, NK_BUTTON_LEFT));

    GdkEventScroll wheel = {};
    wheel.type = GDK_SCROLL;
    wheel.direction = GDK_SCROLL_DOWN;
    host_handle_event(&host, (GdkEvent *)&wheel);
    wheel.direction = GDK_SCROLL_SMOOTH;
    wheel.delta_y = -0.5;
    host_handle_event(&host, (GdkEvent *)&wheel);
    EXPECT_FLOAT_EQ(-0.5f, host.context.input.mouse.scroll_delta.y);   // one notch down, half a notch up
}

TEST_F(GtkInput, StretchedModesBringPositionsBackToLogicalUnits) {
    host.shared.mode = HOST_MODE_DESKTOP;
    host.shared.output_width = 1000;
    host.shared.output_height = 446;
    GdkEventMotion motion = {};
    motion.type = GDK_MOTION_NOTIFY;
    motion.x = 999;
    motion.y = 445;
    host_handle_event(&host, (GdkEvent *)&motion);
    EXPECT_EQ(499, (int)host.context.input.mouse.pos.x);
    EXPECT_EQ(222, (int)host.context.input.mouse.pos.y);
}

}  // namespace
