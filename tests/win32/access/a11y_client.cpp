// A screen reader's side of the patcher window, from another process: finds
// the window by its title, reads its client object with
// AccessibleObjectFromWindow, acts on it, and hears its WinEvents through an
// out-of-context hook. Writes what it saw to a report file (UTF-8, a line
// each, fields split by tabs), never to a pipe: Wine's services inherit pipes.
//
//   a11y_client.exe REPORT TITLE COMMAND...
//
//   tree           every object from the client object down: depth, role,
//                  name, value, states, default action, screen rectangle, the
//                  object a hit test at its centre leads to, parent, next sibling
//   press KEY      accDoDefaultAction on the first object whose name or role
//   set KEY VALUE  put_accValue      text is KEY, in the order of the tree
//   focus KEY      accSelect(SELFLAG_TAKEFOCUS)
//   focused        the object get_accFocus leads to
//   wait EVENT     pumps until a WinEvent of that kind (SHOW, DIALOGSTART,
//                  NAMECHANGE...) that no earlier wait took, 20 s at most
#include <windows.h>
#include <oleacc.h>
#include <shellapi.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

FILE *report;

void line(const std::wstring &text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string utf8((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &utf8[0], bytes, NULL, NULL);
    fprintf(report, "%s\n", utf8.c_str());
    fflush(report);
}

std::wstring hex(long value) {
    wchar_t text[16];
    swprintf(text, 16, L"%08lx", (unsigned long)value);
    return text;
}

// An object as clients meet it: an IAccessible and a child id (CHILDID_SELF
// for a full object).
struct Element {
    IAccessible *acc = nullptr;
    long child = CHILDID_SELF;
};

VARIANT child_id(const Element &e) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = e.child;
    return v;
}

// Control characters (the messages' line breaks) would split a report line.
std::wstring flat(BSTR text) {
    std::wstring out = text ? text : L"";
    for (wchar_t &c : out)
        if (c < 32) c = L' ';
    SysFreeString(text);
    return out;
}

std::wstring name(const Element &e) {
    BSTR text = nullptr;
    e.acc->get_accName(child_id(e), &text);
    return flat(text);
}

std::wstring role(const Element &e) {
    VARIANT r;
    VariantInit(&r);
    if (FAILED(e.acc->get_accRole(child_id(e), &r)) || r.vt != VT_I4) return L"?";
    wchar_t text[64] = L"";
    GetRoleTextW((DWORD)r.lVal, text, 64);
    return text;
}

std::wstring states(const Element &e) {
    VARIANT s;
    VariantInit(&s);
    if (FAILED(e.acc->get_accState(child_id(e), &s)) || s.vt != VT_I4) return L"?";
    std::wstring out;
    for (DWORD bit = 1; bit; bit <<= 1) {
        if (!(s.lVal & bit)) continue;
        wchar_t text[64] = L"";
        GetStateTextW(bit, text, 64);
        out += (out.empty() ? L"" : L",") + std::wstring(text);
    }
    return out;
}

// What a variant handed back by the server leads to (owning its reference).
Element element_of(const Element &from, VARIANT &v) {
    Element e;
    if (v.vt == VT_DISPATCH && v.pdispVal) {
        v.pdispVal->QueryInterface(__uuidof(IAccessible), (void **)&e.acc);
        v.pdispVal->Release();
    } else if (v.vt == VT_I4) {
        e.acc = from.acc;
        e.acc->AddRef();
        e.child = v.lVal;
    }
    return e;
}

std::vector<Element> children(const Element &e) {
    std::vector<Element> out;
    long count = 0;
    if (e.child != CHILDID_SELF || FAILED(e.acc->get_accChildCount(&count)) || count <= 0) return out;
    std::vector<VARIANT> got((size_t)count);
    long obtained = 0;
    if (FAILED(AccessibleChildren(e.acc, 0, count, got.data(), &obtained))) return out;
    for (long i = 0; i < obtained; i++) {
        Element child = element_of(e, got[(size_t)i]);
        if (child.acc) out.push_back(child);
    }
    return out;
}

std::wstring label(Element e) {
    std::wstring text = e.acc ? role(e) + L" " + name(e) : L"-";
    if (e.acc) e.acc->Release();
    return text;
}

Element parent(const Element &e) {
    Element up;
    IDispatch *dispatch = nullptr;
    if (e.child != CHILDID_SELF) {
        up.acc = e.acc;
        up.acc->AddRef();
    } else if (SUCCEEDED(e.acc->get_accParent(&dispatch)) && dispatch) {
        dispatch->QueryInterface(__uuidof(IAccessible), (void **)&up.acc);
        dispatch->Release();
    }
    return up;
}

Element next_sibling(const Element &e) {
    VARIANT v;
    VariantInit(&v);
    return SUCCEEDED(e.acc->accNavigate(NAVDIR_NEXT, child_id(e), &v)) ? element_of(e, v) : Element{};
}

// Down from the root to the deepest object at a screen point, as a screen
// reader follows the pointer.
std::wstring hit(Element at, long x, long y) {
    at.acc->AddRef();
    for (int depth = 0; depth < 8; depth++) {
        VARIANT v;
        VariantInit(&v);
        if (FAILED(at.acc->accHitTest(x, y, &v)) || v.vt == VT_EMPTY) break;
        if (v.vt == VT_I4 && v.lVal == CHILDID_SELF) break;
        Element next = element_of(at, v);
        if (!next.acc) break;
        at.acc->Release();
        at = next;
        if (at.child != CHILDID_SELF) break;
    }
    return label(at);
}

void describe(const Element &root, const Element &e, int depth) {
    BSTR value = nullptr, action = nullptr;
    e.acc->get_accValue(child_id(e), &value);
    e.acc->get_accDefaultAction(child_id(e), &action);
    long x = 0, y = 0, w = 0, h = 0;
    e.acc->accLocation(&x, &y, &w, &h, child_id(e));
    line(L"object\t" + std::to_wstring(depth) + L"\t" + role(e) + L"\t" + name(e) + L"\t" + flat(value) + L"\t" +
         states(e) + L"\t" + flat(action) + L"\t" + std::to_wstring(x) + L"," + std::to_wstring(y) + L"," +
         std::to_wstring(w) + L"," + std::to_wstring(h) + L"\t" + hit(root, x + w / 2, y + h / 2) + L"\t" +
         label(parent(e)) + L"\t" + label(next_sibling(e)));
}

struct Placed {
    Element element;
    int depth;
};

void walk(const Element &e, int depth, std::vector<Placed> *all) {
    all->push_back({e, depth});
    for (const Element &child : children(e)) walk(child, depth + 1, all);
}

// --- WinEvents ------------------------------------------------------------------------
struct Heard {
    DWORD event;
    long child;
    bool taken;
};

HWND target;
std::vector<Heard> heard;
size_t told;   // events written to the report so far

const struct {
    DWORD event;
    const wchar_t *name;
} kEvents[] = {
    {EVENT_OBJECT_SHOW, L"SHOW"}, {EVENT_OBJECT_HIDE, L"HIDE"}, {EVENT_SYSTEM_DIALOGSTART, L"DIALOGSTART"},
    {EVENT_SYSTEM_DIALOGEND, L"DIALOGEND"}, {EVENT_SYSTEM_ALERT, L"ALERT"}, {EVENT_OBJECT_FOCUS, L"FOCUS"},
    {EVENT_OBJECT_NAMECHANGE, L"NAMECHANGE"}, {EVENT_OBJECT_VALUECHANGE, L"VALUECHANGE"},
    {EVENT_OBJECT_STATECHANGE, L"STATECHANGE"}, {EVENT_OBJECT_LOCATIONCHANGE, L"LOCATIONCHANGE"},
};

std::wstring event_name(DWORD event) {
    for (const auto &known : kEvents)
        if (known.event == event) return known.name;
    return hex((long)event);
}

void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window == target && object == OBJID_CLIENT) heard.push_back({event, child, false});
}

// Each event as the object it names when it is read: what a screen reader
// announcing it would find.
void tell_events() {
    for (; told < heard.size(); told++) {
        const Heard h = heard[told];
        IAccessible *acc = nullptr;
        VARIANT v;
        VariantInit(&v);
        std::wstring what = L"-\t-";
        if (SUCCEEDED(AccessibleObjectFromEvent(target, OBJID_CLIENT, h.child, &acc, &v)) && acc) {
            Element e{acc, v.vt == VT_I4 ? v.lVal : CHILDID_SELF};
            what = role(e) + L"\t" + name(e);
            acc->Release();
        }
        line(L"event\t" + event_name(h.event) + L"\t" + std::to_wstring(h.child) + L"\t" + what);
    }
}

bool wait_for(const std::wstring &kind) {
    const DWORD start = GetTickCount();
    for (;;) {
        tell_events();
        for (Heard &h : heard)
            if (!h.taken && event_name(h.event) == kind) return h.taken = true;
        const DWORD waited = GetTickCount() - start;
        if (waited >= 20000) return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20000 - waited, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    report = _wfopen(argv[1], L"wb");
    if (!report) return 2;
    target = FindWindowW(NULL, argv[2]);
    if (!target) {
        line(L"no window");
        return 1;
    }
    CoInitialize(NULL);
    DWORD process = 0;
    GetWindowThreadProcessId(target, &process);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, NULL, on_event, process, 0, WINEVENT_OUTOFCONTEXT);

    Element root;
    HRESULT hr = AccessibleObjectFromWindow(target, (DWORD)OBJID_CLIENT, __uuidof(IAccessible), (void **)&root.acc);
    if (FAILED(hr) || !root.acc) {
        line(L"no object\t" + hex(hr));
        return 1;
    }
    int failed = 0;
    for (int i = 3; i < argc; i++) {
        const std::wstring command = argv[i];
        std::vector<Placed> tree;
        if (command != L"wait" && command != L"focused") walk(root, 0, &tree);
        if (command == L"tree") {
            for (const Placed &p : tree) describe(root, p.element, p.depth);
        } else if (command == L"focused") {
            VARIANT v;
            VariantInit(&v);
            hr = root.acc->get_accFocus(&v);
            Element e = element_of(root, v);
            line(L"focused\t" + (e.acc ? role(e) + L"\t" + name(e) : L"-\t-"));
        } else if (command == L"wait" && i + 1 < argc) {
            const std::wstring kind = argv[++i];
            const bool ok = wait_for(kind);
            failed |= !ok;
            line(L"wait\t" + kind + (ok ? L"\tok" : L"\ttimeout"));
        } else if ((command == L"press" || command == L"focus" || command == L"set") && i + 1 < argc) {
            const std::wstring key = argv[++i];
            Element e;
            for (const Placed &p : tree)
                if (!e.acc && (name(p.element) == key || role(p.element) == key)) e = p.element;
            std::wstring value = command == L"set" && i + 1 < argc ? argv[++i] : L"";
            if (!e.acc) hr = E_INVALIDARG;
            else if (command == L"press") hr = e.acc->accDoDefaultAction(child_id(e));
            else if (command == L"focus") hr = e.acc->accSelect(SELFLAG_TAKEFOCUS, child_id(e));
            else {
                BSTR text = SysAllocString(value.c_str());
                hr = e.acc->put_accValue(child_id(e), text);
                SysFreeString(text);
            }
            line(command + L"\t" + key + L"\t" + hex(hr));
        } else {
            line(L"unknown command\t" + command);
            failed = 1;
        }
    }
    tell_events();
    if (hook) UnhookWinEvent(hook);
    fclose(report);
    return failed;
}
