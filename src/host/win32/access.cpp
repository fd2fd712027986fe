// The window for screen readers on Windows: Microsoft Active Accessibility.
// WM_GETOBJECT for the client area hands out an IAccessible over the panel's
// own description (ui/access.h), one object per widget, so that the popup
// holds its text and its "OK" as a dialog does; after each frame hooked
// clients hear what changed through WinEvents. On Windows 7 and later, UI
// Automation clients read the same objects through Windows' own proxy.
//
// Everything here translates: names, states, values and bounds come from the
// tree as the last frame left it, and whatever a client does (press, set the
// limit, move the focus) is queued with access_push for the panel to run at
// its widget in the next frame, as a click there would run.
//
// Nothing is loaded for a screen reader that never asks: COM, oleacc and
// oleaut32 come with the first WM_GETOBJECT, through system_library, and COM
// is started single-threaded on the window's thread, so every call from a
// client arrives through the window's own message pump, between frames.
//
// Left out: spatial navigation (up, down, left, right), keyboard shortcuts,
// descriptions and help; desktop mode's stretched frame is not accounted for
// in locations.
#include <errno.h>
#include <initializer_list>
#include <math.h>
#include <new>
#include <stdio.h>
#include <wchar.h>
#include <windows.h>
#include <oleacc.h>

#include "host/host.h"
#include "lang/lang.h"
#include "patch/fileio.h"
#include "ui/access.h"
#include "lang/lang.h"

// WinEvents name a widget by its node id, and the root by CHILDID_SELF.
static_assert(ACCESS_PANEL == CHILDID_SELF, "the root is the client object itself");
// The root's children are the nodes from 1 to the popup, so its n-th child is
// node n: a child number and a WinEvent's id never disagree.
static_assert(ACCESS_POPUP_TEXT == ACCESS_POPUP + 1 && ACCESS_POPUP_OK + 1 == ACCESS_NODE_COUNT,
              "only the popup's own children follow it");

typedef BSTR(WINAPI *AllocString)(const OLECHAR *, UINT);
typedef HRESULT(WINAPI *ObjectFromWindow)(HWND, DWORD, REFIID, void **);
typedef LRESULT(WINAPI *ResultFromObject)(REFIID, WPARAM, LPUNKNOWN);
typedef HRESULT(WINAPI *StartCom)(void *, DWORD);
typedef void(WINAPI *StopCom)(void);

// What every object handed out shares with the window. A client may keep an
// object long after the window has gone; the link outlives the window for as
// long as any object does, and says so by its host going null.
struct AccessLink {
    LONG refs;
    HostWindow *host;
    AllocString alloc_string;           // oleaut32's: the client's side frees what it is handed
    ObjectFromWindow window_object;     // oleacc's, for the root's parent: the window's standard object
};

namespace {

FARPROC library_function(HMODULE library, const char *name) {
    return library ? GetProcAddress(library, name) : NULL;
}

void link_release(AccessLink *link) {
    if (InterlockedDecrement(&link->refs) == 0) delete link;
}

bool shown(uint8_t id) { return id < ACCESS_NODE_COUNT && access_tree.nodes[id].present; }

bool below(uint8_t id, uint8_t ancestor) {
    for (uint8_t at = access_tree.nodes[id].parent; at != ACCESS_NONE; at = access_tree.nodes[at].parent)
        if (at == ancestor) return true;
    return false;
}

// The n-th (from 1) shown child of `parent`, in the panel's order.
uint8_t nth_child(uint8_t parent, LONG n) {
    for (uint8_t id = 0; id < ACCESS_NODE_COUNT; id++)
        if (shown(id) && access_tree.nodes[id].parent == parent && --n == 0) return id;
    return ACCESS_NONE;
}

LONG child_count(uint8_t parent) {
    LONG count = 0;
    for (uint8_t id = 0; id < ACCESS_NODE_COUNT; id++) count += shown(id) && access_tree.nodes[id].parent == parent;
    return count;
}

// The shown sibling after (step 1) or before (step -1) `id`.
uint8_t sibling(uint8_t id, int step) {
    const uint8_t parent = access_tree.nodes[id].parent;
    for (int at = id + step; at >= 0 && at < ACCESS_NODE_COUNT; at += step)
        if (shown((uint8_t)at) && access_tree.nodes[at].parent == parent) return (uint8_t)at;
    return ACCESS_NONE;
}

// A text field's value is its text, which for the path field is all its name
// says; the limit field's is the limit.
bool value_is_name(const AccessNode &node) {
    return node.role == ACCESS_ROLE_TEXT && !(node.states & ACCESS_STATE_HAS_VALUE);
}

LONG msaa_role(uint8_t role) {
    switch (role) {
    case ACCESS_ROLE_PANEL: return ROLE_SYSTEM_CLIENT;
    case ACCESS_ROLE_TEXT: return ROLE_SYSTEM_TEXT;
    case ACCESS_ROLE_STATUS: return ROLE_SYSTEM_STATUSBAR;
    case ACCESS_ROLE_SLIDER: return ROLE_SYSTEM_SLIDER;
    case ACCESS_ROLE_CHECK_BOX: return ROLE_SYSTEM_CHECKBUTTON;
    case ACCESS_ROLE_PUSH_BUTTON: return ROLE_SYSTEM_PUSHBUTTON;
    case ACCESS_ROLE_DIALOG: return ROLE_SYSTEM_DIALOG;
    case ACCESS_ROLE_ALERT: return ROLE_SYSTEM_ALERT;
    case ACCESS_ROLE_LABEL:
    default: return ROLE_SYSTEM_STATICTEXT;
    }
}

// Screen readers follow the focus of the foreground window only: a widget
// is focused for them only while the window has the keyboard.
bool window_focused(const HostWindow *host) { return host->hwnd && GetFocus() == host->hwnd; }

// Bounds in whole client pixels; the tree's are device pixels already.
RECT client_rect(const AccessNode &node) {
    const AccessRect &b = node.bounds;
    RECT r = {lroundf(b.x), lroundf(b.y), lroundf(b.x + b.width), lroundf(b.y + b.height)};
    return r;
}

// A whole decimal number and nothing else, as a value typed by a client.
bool parse_whole(const wchar_t *text, long *value) {
    if (!text || !*text) return false;
    wchar_t *end = NULL;
    errno = 0;
    *value = wcstol(text, &end, 10);
    return errno == 0 && end != text && *end == 0;
}

class AccessObject final : public IAccessible {
public:
    AccessObject(AccessLink *link, uint8_t node) : link_(link), node_(node) { InterlockedIncrement(&link->refs); }

    // --- IUnknown, IDispatch ------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
        if (!out) return E_POINTER;
        *out = NULL;
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IDispatch) && iid != __uuidof(IAccessible))
            return E_NOINTERFACE;
        *out = static_cast<IAccessible *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return (ULONG)InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            link_release(link_);
            delete this;
        }
        return (ULONG)left;
    }
    // Clients call IAccessible's methods directly; nothing goes by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
        return E_NOTIMPL;
    }

    // --- the tree -------------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch **parent) override {
        if (!parent) return E_POINTER;
        *parent = NULL;
        HRESULT hr = connected();
        if (FAILED(hr)) return hr;
        const uint8_t up = access_tree.nodes[node_].parent;
        if (up != ACCESS_NONE) return object(up, parent);
        return link_->window_object(link_->host->hwnd, (DWORD)OBJID_WINDOW, __uuidof(IDispatch), (void **)parent);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG *count) override {
        if (!count) return E_POINTER;
        *count = 0;
        HRESULT hr = connected();
        if (SUCCEEDED(hr)) *count = child_count(node_);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch **out) override {
        if (!out) return E_POINTER;
        *out = NULL;
        uint8_t id;
        HRESULT hr = resolve(child, &id);
        if (FAILED(hr)) return hr;
        return id == node_ ? E_INVALIDARG : object(id, out);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT *end) override {
        if (!end) return E_POINTER;
        V_VT(end) = VT_EMPTY;
        uint8_t id;
        HRESULT hr = resolve(start, &id);
        if (FAILED(hr)) return hr;
        uint8_t to = ACCESS_NONE;
        switch (direction) {
        case NAVDIR_NEXT: to = sibling(id, 1); break;
        case NAVDIR_PREVIOUS: to = sibling(id, -1); break;
        case NAVDIR_FIRSTCHILD: to = nth_child(id, 1); break;
        case NAVDIR_LASTCHILD: to = nth_child(id, child_count(id)); break;
        case NAVDIR_UP:
        case NAVDIR_DOWN:
        case NAVDIR_LEFT:
        case NAVDIR_RIGHT: return DISP_E_MEMBERNOTFOUND;
        default: return E_INVALIDARG;
        }
        return to == ACCESS_NONE ? S_FALSE : object_variant(to, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT *at) override {
        if (!at) return E_POINTER;
        V_VT(at) = VT_EMPTY;
        HRESULT hr = connected();
        if (FAILED(hr)) return hr;
        POINT point = {x, y};
        ScreenToClient(link_->host->hwnd, &point);
        // Last declared is drawn on top: the popup over the panel.
        for (int id = ACCESS_NODE_COUNT - 1; id >= 0; id--) {
            const AccessNode &node = access_tree.nodes[id];
            if (shown((uint8_t)id) && node.parent == node_ && contains(node, point)) return object_variant((uint8_t)id, at);
        }
        if (!contains(access_tree.nodes[node_], point)) return S_FALSE;
        V_VT(at) = VT_I4;
        V_I4(at) = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT *focus) override {
        if (!focus) return E_POINTER;
        V_VT(focus) = VT_EMPTY;
        HRESULT hr = connected();
        if (FAILED(hr)) return hr;
        if (!window_focused(link_->host)) return S_FALSE;
        // Without a focused widget the client area itself has the focus.
        const uint8_t id = access_tree.focus == ACCESS_NONE ? (uint8_t)ACCESS_PANEL : access_tree.focus;
        if (id == node_) {
            V_VT(focus) = VT_I4;
            V_I4(focus) = CHILDID_SELF;
            return S_OK;
        }
        return shown(id) && below(id, node_) ? object_variant(id, focus) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT *selection) override {
        if (!selection) return E_POINTER;
        V_VT(selection) = VT_EMPTY;
        HRESULT hr = connected();
        return FAILED(hr) ? hr : S_FALSE;   // nothing here is selected, only focused
    }

    // --- what a widget is -------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR *name) override {
        const AccessNode *node;
        HRESULT hr = text_property(child, name, &node);
        return FAILED(hr) ? hr : text(node->name, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR *value) override {
        const AccessNode *node;
        HRESULT hr = text_property(child, value, &node);
        if (FAILED(hr)) return hr;
        if (value_is_name(*node)) return text(node->name, value);
        if (!(node->states & ACCESS_STATE_HAS_VALUE)) return DISP_E_MEMBERNOTFOUND;
        char number[16];
        snprintf(number, sizeof number, "%d", (int)node->value);
        return text(number, value);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT *role) override {
        uint8_t id;
        HRESULT hr = number_property(child, role, &id);
        if (SUCCEEDED(hr)) V_I4(role) = msaa_role(access_tree.nodes[id].role);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT *state) override {
        uint8_t id;
        HRESULT hr = number_property(child, state, &id);
        if (FAILED(hr)) return hr;
        const uint32_t s = access_tree.nodes[id].states;
        LONG msaa = 0;
        if (s & ACCESS_STATE_FOCUSABLE) msaa |= STATE_SYSTEM_FOCUSABLE;
        if (s & ACCESS_STATE_CHECKED) msaa |= STATE_SYSTEM_CHECKED;
        if (s & ACCESS_STATE_DISABLED) msaa |= STATE_SYSTEM_UNAVAILABLE;
        if (s & ACCESS_STATE_READ_ONLY) msaa |= STATE_SYSTEM_READONLY;
        const bool keyboard = window_focused(link_->host);
        if (keyboard && (s & ACCESS_STATE_FOCUSED)) msaa |= STATE_SYSTEM_FOCUSED;
        // The client area is the window's, which takes the keyboard; it holds
        // the focus itself while no widget does.
        if (id == ACCESS_PANEL) {
            msaa |= STATE_SYSTEM_FOCUSABLE;
            if (keyboard && access_tree.focus == ACCESS_NONE) msaa |= STATE_SYSTEM_FOCUSED;
        }
        V_I4(state) = msaa;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG *left, LONG *top, LONG *width, LONG *height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        uint8_t id;
        HRESULT hr = resolve(child, &id);
        if (FAILED(hr)) return hr;
        const RECT r = client_rect(access_tree.nodes[id]);
        POINT origin = {0, 0};
        if (!ClientToScreen(link_->host->hwnd, &origin)) return E_FAIL;
        *left = origin.x + r.left;
        *top = origin.y + r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR *action) override {
        const AccessNode *node;
        HRESULT hr = text_property(child, action, &node);
        if (FAILED(hr)) return hr;
        switch (node->verb) {
        case ACCESS_VERB_PRESS: return text(_("Press"), action);
        case ACCESS_VERB_TOGGLE: return text(node->states & ACCESS_STATE_CHECKED ? _("Uncheck") : _("Check"), action);
        case ACCESS_VERB_FOCUS: return text(_("Focus"), action);
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR *out) override { return absent(child, out); }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR *out) override { return absent(child, out); }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR *out) override { return absent(child, out); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR *file, VARIANT child, LONG *topic) override {
        if (topic) *topic = 0;
        return absent(child, file);
    }

    // --- acting: each only queues for the panel's next frame ----------------------------
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        uint8_t id;
        HRESULT hr = resolve(child, &id);
        if (FAILED(hr)) return hr;
        const AccessNode &node = access_tree.nodes[id];
        if (node.verb == ACCESS_VERB_NONE || (node.states & ACCESS_STATE_DISABLED)) return DISP_E_MEMBERNOTFOUND;
        return queue(ACCESS_DO_ACTIVATE, id, 0);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        uint8_t id;
        HRESULT hr = resolve(child, &id);
        if (FAILED(hr)) return hr;
        const AccessNode &node = access_tree.nodes[id];
        if (!(node.states & ACCESS_STATE_HAS_VALUE) || (node.states & (ACCESS_STATE_READ_ONLY | ACCESS_STATE_DISABLED)))
            return DISP_E_MEMBERNOTFOUND;
        // Out of range is refused, as UI Automation's range values are,
        // rather than taken as the nearest end.
        long number;
        if (!parse_whole(value, &number) || number < node.minimum || number > node.maximum) return E_INVALIDARG;
        return queue(ACCESS_DO_SET_LIMIT, id, (int32_t)number);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override {
        uint8_t id;
        HRESULT hr = resolve(child, &id);
        if (FAILED(hr)) return hr;
        if (flags != SELFLAG_TAKEFOCUS || !(access_tree.nodes[id].states & ACCESS_STATE_FOCUSABLE))
            return DISP_E_MEMBERNOTFOUND;
        return queue(ACCESS_DO_FOCUS, id, 0);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~AccessObject() = default;

    // The window is there and this object's widget is on screen.
    HRESULT connected() const {
        return link_->host && shown(node_) ? S_OK : CO_E_OBJNOTCONNECTED;
    }

    // The node a call is about. `child` is CHILDID_SELF for this object, the
    // id of a node below it (what WinEvents carry, and the root's child
    // numbers too, its children being nodes 1 to 11), or else the n-th
    // child, as AccessibleChildren counts the popup's.
    HRESULT resolve(VARIANT child, uint8_t *id) const {
        HRESULT hr = connected();
        if (FAILED(hr)) return hr;
        if (V_VT(&child) != VT_I4) return E_INVALIDARG;
        const LONG n = V_I4(&child);
        if (n == CHILDID_SELF) *id = node_;
        else if (n > 0 && n < ACCESS_NODE_COUNT && shown((uint8_t)n) && below((uint8_t)n, node_)) *id = (uint8_t)n;
        else *id = n > 0 ? nth_child(node_, n) : (uint8_t)ACCESS_NONE;
        return *id == ACCESS_NONE ? E_INVALIDARG : S_OK;
    }

    HRESULT text_property(VARIANT child, BSTR *out, const AccessNode **node) const {
        if (!out) return E_POINTER;
        *out = NULL;
        uint8_t id;
        HRESULT hr = resolve(child, &id);
        *node = SUCCEEDED(hr) ? &access_tree.nodes[id] : NULL;
        return hr;
    }

    HRESULT number_property(VARIANT child, VARIANT *out, uint8_t *id) const {
        if (!out) return E_POINTER;
        V_VT(out) = VT_EMPTY;
        HRESULT hr = resolve(child, id);
        if (SUCCEEDED(hr)) {
            V_VT(out) = VT_I4;
            V_I4(out) = 0;
        }
        return hr;
    }

    HRESULT absent(VARIANT child, BSTR *out) const {
        const AccessNode *node;
        HRESULT hr = text_property(child, out, &node);
        return FAILED(hr) ? hr : DISP_E_MEMBERNOTFOUND;
    }

    // UTF-8 as a BSTR; no text at all is no name.
    HRESULT text(const char *utf8, BSTR *out) const {
        if (!utf8[0]) return S_FALSE;
        const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
        if (units <= 0) return E_FAIL;
        BSTR made = link_->alloc_string(NULL, (UINT)(units - 1));
        if (!made) return E_OUTOFMEMORY;
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, made, units);
        *out = made;
        return S_OK;
    }

    bool contains(const AccessNode &node, POINT p) const {
        const RECT r = client_rect(node);
        return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
    }

    HRESULT object(uint8_t id, IDispatch **out) const {
        AccessObject *made = new (std::nothrow) AccessObject(link_, id);
        if (!made) return E_OUTOFMEMORY;
        *out = made;
        return S_OK;
    }

    HRESULT object_variant(uint8_t id, VARIANT *out) const {
        IDispatch *found;
        HRESULT hr = object(id, &found);
        if (FAILED(hr)) return hr;
        V_VT(out) = VT_DISPATCH;
        V_DISPATCH(out) = found;
        return S_OK;
    }

    // The pump must not sleep through what was queued.
    HRESULT queue(uint8_t type, uint8_t id, int32_t value) const {
        AccessAction action;
        action.type = type;
        action.node = id;
        action.value = value;
        if (!access_push(action)) return E_FAIL;   // a client flooding the window
        link_->host->pending = 1;
        return S_OK;
    }

    LONG refs_ = 1;
    AccessLink *link_;
    const uint8_t node_;
};

// The libraries and the apartment, on the first request. A thread already in
// the multithreaded apartment would take clients' calls on other threads,
// while a frame rewrites the tree: such a window hands out nothing.
bool start(HostWindow *host) {
    HostAccess &a = host->access;
    if (!a.ole) a.ole = (HMODULE)system_library(L"ole32.dll");
    if (!a.oleaut) a.oleaut = (HMODULE)system_library(L"oleaut32.dll");
    if (!a.oleacc) a.oleacc = (HMODULE)system_library(L"oleacc.dll");
    AllocString alloc_string = (AllocString)(void (*)(void))library_function(a.oleaut, "SysAllocStringLen");
    ObjectFromWindow window_object =
        (ObjectFromWindow)(void (*)(void))library_function(a.oleacc, "AccessibleObjectFromWindow");
    if (!alloc_string || !window_object) return false;
    if (!a.apartment) {
        StartCom start_com = (StartCom)(void (*)(void))library_function(a.ole, "CoInitializeEx");
        if (!start_com || FAILED(start_com(NULL, COINIT_APARTMENTTHREADED))) return false;
        a.apartment = 1;
    }
    a.link = new (std::nothrow) AccessLink{1, host, alloc_string, window_object};
    // Clients hear of changes from now on, not of what was there before them.
    a.told = access_tree;
    return a.link != NULL;
}

void tell_change(void *data, uint8_t node, uint8_t change, uint32_t) {
    HostWindow *host = (HostWindow *)data;
    const HWND window = host->hwnd;
    const AccessNode &now = access_tree.nodes[node], &before = host->access.told.nodes[node];
    auto tell = [&](DWORD event) { NotifyWinEvent(event, window, OBJID_CLIENT, node); };
    switch (change) {
    case ACCESS_CHANGE_SHOWN:
        tell(EVENT_OBJECT_SHOW);
        if (now.role == ACCESS_ROLE_DIALOG) tell(EVENT_SYSTEM_DIALOGSTART);
        if (now.role == ACCESS_ROLE_ALERT) tell(EVENT_SYSTEM_ALERT);
        break;
    case ACCESS_CHANGE_HIDDEN:
        if (before.role == ACCESS_ROLE_DIALOG) tell(EVENT_SYSTEM_DIALOGEND);
        tell(EVENT_OBJECT_HIDE);
        break;
    case ACCESS_CHANGE_NAME:
        tell(EVENT_OBJECT_NAMECHANGE);
        if (value_is_name(now)) tell(EVENT_OBJECT_VALUECHANGE);
        break;
    case ACCESS_CHANGE_STATE: tell(EVENT_OBJECT_STATECHANGE); break;
    case ACCESS_CHANGE_VALUE: tell(EVENT_OBJECT_VALUECHANGE); break;
    case ACCESS_CHANGE_BOUNDS: tell(EVENT_OBJECT_LOCATIONCHANGE); break;
    case ACCESS_CHANGE_FOCUS:
        if (window_focused(host)) tell(EVENT_OBJECT_FOCUS);
        break;
    }
}

}  // namespace

LRESULT host_access_object(HostWindow *host, WPARAM wparam, LPARAM lparam) {
    // The object id travels as a 32-bit value, whatever the width of lparam.
    if ((LONG)(DWORD)lparam != OBJID_CLIENT) return 0;
    if (!host->access.link && !start(host)) return 0;
    ResultFromObject result =
        (ResultFromObject)(void (*)(void))library_function(host->access.oleacc, "LresultFromObject");
    AccessObject *root = result ? new (std::nothrow) AccessObject(host->access.link, ACCESS_PANEL) : NULL;
    if (!root) return 0;
    const LRESULT handed = result(__uuidof(IAccessible), wparam, root);
    root->Release();
    return handed;
}

void host_access_tell(HostWindow *host) {
    if (!host->access.link) return;
    access_changes(&host->access.told, &access_tree, tell_change, host);
    host->access.told = access_tree;
}

void host_access_disconnect(HostWindow *host) {
    AccessLink *link = host->access.link;
    if (!link) return;
    link->host = NULL;
    host->access.link = NULL;
    link_release(link);
}

void host_access_shutdown(HostWindow *host) {
    HostAccess &a = host->access;
    host_access_disconnect(host);
    // Stopping COM lets go of what remote clients still held.
    if (a.apartment) {
        StopCom stop_com = (StopCom)(void (*)(void))library_function(a.ole, "CoUninitialize");
        if (stop_com) stop_com();
        a.apartment = 0;
    }
    for (HMODULE *library : {&a.oleacc, &a.oleaut, &a.ole}) {
        if (*library) FreeLibrary(*library);
        *library = NULL;
    }
}
