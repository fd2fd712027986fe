// The window's IAccessible as a client inside the program's own process gets
// it: an object held past the window's end.
#include "host_test.h"

#include <oleacc.h>

#include "ui/access.h"

namespace {

VARIANT self() {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = CHILDID_SELF;
    return v;
}

void show(uint8_t id, uint8_t role, uint8_t parent, const char *name) {
    AccessNode &node = access_tree.nodes[id];
    node.present = 1;
    node.role = role;
    node.parent = parent;
    node.verb = role == ACCESS_ROLE_PUSH_BUTTON ? ACCESS_VERB_PRESS : ACCESS_VERB_NONE;
    strcpy(node.name, name);
}

}  // namespace

TEST_F(HostTest, ObjectsHeldPastTheWindowAnswerThatItIsGone) {
    open(HOST_MODE_FIXED);
    memset(&access_tree, 0, sizeof access_tree);
    show(ACCESS_PANEL, ACCESS_ROLE_PANEL, ACCESS_NONE, kTitle);
    show(ACCESS_PATCH, ACCESS_ROLE_PUSH_BUTTON, ACCESS_PANEL, "Patch");

    IAccessible *root = nullptr, *button = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(host.hwnd, (DWORD)OBJID_CLIENT, __uuidof(IAccessible), (void **)&root), S_OK);
    VARIANT patch = self();
    patch.lVal = ACCESS_PATCH;
    IDispatch *child = nullptr;
    ASSERT_EQ(root->get_accChild(patch, &child), S_OK);
    ASSERT_EQ(child->QueryInterface(__uuidof(IAccessible), (void **)&button), S_OK);
    child->Release();
    BSTR name = nullptr;
    ASSERT_EQ(button->get_accName(self(), &name), S_OK);
    EXPECT_STREQ(name, L"Patch");
    SysFreeString(name);

    // Gone from the screen (the patcher's loop still runs a frame or two),
    // then shut down: neither may reach the record that held the window.
    DestroyWindow(host.hwnd);
    for (int stage = 0; stage < 2; stage++) {
        SCOPED_TRACE(stage);
        LONG count = -1;
        EXPECT_EQ(root->get_accChildCount(&count), CO_E_OBJNOTCONNECTED);
        EXPECT_EQ(button->accDoDefaultAction(self()), CO_E_OBJNOTCONNECTED);
        EXPECT_EQ(button->get_accName(self(), &name), CO_E_OBJNOTCONNECTED);
        close();
    }
    button->Release();
    root->Release();
    memset(&access_tree, 0, sizeof access_tree);
}
