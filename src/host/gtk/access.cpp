// The panel for assistive technology on Linux: GTK's own ATK support, which
// GTK's bridge hands to AT-SPI and so to Orca and every other client.
//
// The drawing area is a small subclass whose accessible describes the panel:
// it is the tree's root, and every other node of `access_tree` is an
// AtkObject below it, made the first time a client asks for it. Everything
// these objects say is read from the tree the last frame filled in; what a
// client asks them to do is queued with access_push for the panel to run,
// exactly as a key would be. Nothing here decides what a widget is called,
// what it does or whether it may: it only says it in ATK's words.
//
// After each frame host_access_update tells listening clients what changed,
// against the copy of the tree it told them about last time. Until a client
// has asked for the area's accessible nobody can be listening, and a frame
// costs nothing more.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <gtk/gtk-a11y.h>

#include "host/host.h"
#include "lang/lang.h"
#include "ui/access.h"

namespace {

// --- what a node is in ATK's words ----------------------------------------------

AtkRole atk_role(uint8_t role) {
    switch (role) {
    case ACCESS_ROLE_TEXT: return ATK_ROLE_TEXT;
    case ACCESS_ROLE_STATUS: return ATK_ROLE_STATUSBAR;
    case ACCESS_ROLE_LABEL: return ATK_ROLE_LABEL;
    case ACCESS_ROLE_SLIDER: return ATK_ROLE_SLIDER;
    case ACCESS_ROLE_CHECK_BOX: return ATK_ROLE_CHECK_BOX;
    case ACCESS_ROLE_PUSH_BUTTON: return ATK_ROLE_PUSH_BUTTON;
    case ACCESS_ROLE_DIALOG: return ATK_ROLE_DIALOG;
    case ACCESS_ROLE_ALERT: return ATK_ROLE_ALERT;
    default: return ATK_ROLE_PANEL;
    }
}

// ATK states as bits of one word, so that what a node reports and what
// changed between two frames come from the same translation. FOCUSED is
// left out: it also depends on GTK's focus, and has its own notification.
typedef uint64_t StateBits;
static_assert(ATK_STATE_LAST_DEFINED < 64, "ATK's states fit one word");

StateBits atk_states(const AccessNode &node, bool area_mapped) {
    StateBits s = 0;
    auto add = [&s](AtkStateType state) { s |= (StateBits)1 << state; };
    if (node.present && area_mapped) {
        add(ATK_STATE_VISIBLE);
        add(ATK_STATE_SHOWING);
    }
    if (!(node.states & ACCESS_STATE_DISABLED)) {
        add(ATK_STATE_ENABLED);
        add(ATK_STATE_SENSITIVE);
    }
    if (node.states & ACCESS_STATE_FOCUSABLE) add(ATK_STATE_FOCUSABLE);
    if (node.states & ACCESS_STATE_CHECKED) add(ATK_STATE_CHECKED);
    if (node.states & ACCESS_STATE_READ_ONLY) add(ATK_STATE_READ_ONLY);
    switch (node.role) {
    case ACCESS_ROLE_TEXT:
        add(ATK_STATE_SINGLE_LINE);
        if (!(node.states & ACCESS_STATE_READ_ONLY)) add(ATK_STATE_EDITABLE);
        break;
    case ACCESS_ROLE_CHECK_BOX: add(ATK_STATE_CHECKABLE); break;
    case ACCESS_ROLE_SLIDER: add(ATK_STATE_HORIZONTAL); break;
    // The popup takes every key and click while it is open.
    case ACCESS_ROLE_DIALOG:
    case ACCESS_ROLE_ALERT: add(ATK_STATE_MODAL); break;
    }
    return s;
}

void add_states(AtkStateSet *set, StateBits states) {
    for (int state = 0; state < ATK_STATE_LAST_DEFINED; state++)
        if (states & ((StateBits)1 << state)) atk_state_set_add_state(set, (AtkStateType)state);
}

// The ATK interfaces a node's object has, fixed when it is made: a node's
// role, verb and value stay what they are for the window's whole life.
enum Features : unsigned { CAN_ACT = 1, HAS_VALUE = 2, HAS_TEXT = 4 };

unsigned features_of(const AccessNode &node) {
    unsigned f = 0;
    if (node.verb != ACCESS_VERB_NONE) f |= CAN_ACT;
    if (node.states & ACCESS_STATE_HAS_VALUE) f |= HAS_VALUE;
    if (node.role == ACCESS_ROLE_TEXT || node.role == ACCESS_ROLE_LABEL || node.role == ACCESS_ROLE_STATUS)
        f |= HAS_TEXT;
    return f;
}

// A text node's text: the limit field's is its value, as the field shows
// it; every other one's is its name.
const char *text_of(const AccessNode &node, char (&digits)[16]) {
    if (!(node.states & ACCESS_STATE_HAS_VALUE)) return node.name;
    snprintf(digits, sizeof digits, "%d", (int)node.value);
    return digits;
}

// --- the tree's shape -------------------------------------------------------------

// The present children of `parent`, in the panel's order.
int children_of(const AccessTree &tree, uint8_t parent, uint8_t (&out)[ACCESS_NODE_COUNT]) {
    int n = 0;
    for (uint8_t id = 0; id < ACCESS_NODE_COUNT; id++)
        if (tree.nodes[id].present && tree.nodes[id].parent == parent) out[n++] = id;
    return n;
}

int index_in_parent(const AccessTree &tree, uint8_t id) {
    uint8_t siblings[ACCESS_NODE_COUNT];
    const int n = children_of(tree, tree.nodes[id].parent, siblings);
    for (int i = 0; i < n; i++)
        if (siblings[i] == id) return i;
    return -1;
}

// Where the GTK focus and the panel's focus meet: the node a client should
// take for the focus, or ACCESS_NONE while the area does not have GTK's.
uint8_t focused_node(const HostWindow *host) {
    return host->area && gtk_widget_has_focus(host->area) ? access_tree.focus : (uint8_t)ACCESS_NONE;
}

// A node's rectangle in the coordinates a client asks for. The bounds are in
// the area's logical pixels (GDK's, whatever the display's scale) before any
// stretch of the frame over the screen.
bool node_extents(const HostWindow *host, const AccessNode &node, AtkCoordType coords, AtkRectangle *out) {
    *out = {0, 0, 0, 0};
    GdkWindow *window = host->area ? gtk_widget_get_window(host->area) : NULL;
    if (!window || !node.present) return false;
    const HostShared &shared = host->shared;
    const double sx = shared.logical_width > 0 ? (double)shared.output_width / shared.logical_width : 1.0;
    const double sy = shared.logical_height > 0 ? (double)shared.output_height / shared.logical_height : 1.0;
    const AccessRect &b = node.bounds;
    int x = (int)lround(b.x * sx), y = (int)lround(b.y * sy);
    out->width = (int)lround((b.x + b.width) * sx) - x;
    out->height = (int)lround((b.y + b.height) * sy) - y;
    if (coords == ATK_XY_PARENT) {
        // Children of the root already are relative to the area.
        if (node.parent != ACCESS_PANEL && node.parent < ACCESS_NODE_COUNT) {
            AtkRectangle parent;
            node_extents(host, access_tree.nodes[node.parent], ATK_XY_WINDOW, &parent);
            AtkRectangle self;
            node_extents(host, node, ATK_XY_WINDOW, &self);
            *out = {self.x - parent.x, self.y - parent.y, self.width, self.height};
        } else {
            out->x = x;
            out->y = y;
        }
        return true;
    }
    int ox, oy;
    gdk_window_get_origin(window, &ox, &oy);
    if (coords == ATK_XY_WINDOW) {
        int tx, ty;
        gdk_window_get_origin(gdk_window_get_toplevel(window), &tx, &ty);
        ox -= tx;
        oy -= ty;
    }
    out->x = ox + x;
    out->y = oy + y;
    return true;
}

// What a client asks for goes to the panel's queue, and the pump wakes for it.
gboolean queue(HostWindow *host, uint8_t type, uint8_t node, int32_t value = 0) {
    AccessAction action;
    action.type = type;
    action.node = node;
    action.value = value;
    if (!access_push(action)) return FALSE;
    host->pending = 1;
    return TRUE;
}

}  // namespace

// --- the objects ----------------------------------------------------------------------
// GObject's macros define the types' functions at file scope.

struct KelmNode {
    AtkObject parent;
    HostWindow *host;   // null once the window has gone
    uint8_t id;
};
struct KelmNodeClass {
    AtkObjectClass parent;
};

struct KelmPanelAccessible {
    GtkWidgetAccessible parent;
};
struct KelmPanelAccessibleClass {
    GtkWidgetAccessibleClass parent;
};

struct KelmArea {
    GtkDrawingArea parent;
    HostWindow *host;   // null once host_access_shutdown ran
};
struct KelmAreaClass {
    GtkDrawingAreaClass parent;
};

static void node_component_init(AtkComponentIface *iface);
static void panel_component_init(AtkComponentIface *iface);

G_DEFINE_TYPE_WITH_CODE(KelmNode, kelm_node, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, node_component_init))
G_DEFINE_TYPE_WITH_CODE(KelmPanelAccessible, kelm_panel_accessible, GTK_TYPE_WIDGET_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, panel_component_init))
G_DEFINE_TYPE(KelmArea, kelm_area, GTK_TYPE_DRAWING_AREA)

namespace {

KelmNode *as_node(gpointer object) { return G_TYPE_CHECK_INSTANCE_CAST(object, kelm_node_get_type(), KelmNode); }

// The node an object stands for, or null once the window has gone.
const AccessNode *node_of(gpointer object) {
    KelmNode *self = as_node(object);
    return self->host ? &access_tree.nodes[self->id] : NULL;
}

HostWindow *panel_host(AtkObject *root) {
    GtkWidget *area = gtk_accessible_get_widget(GTK_ACCESSIBLE(root));
    return area ? G_TYPE_CHECK_INSTANCE_CAST(area, kelm_area_get_type(), KelmArea)->host : NULL;
}

// The root and the other nodes answer most questions alike, each for the
// node it stands for. Null once the window has gone.
HostWindow *locate(gpointer object, uint8_t *id) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(object, kelm_node_get_type())) {
        *id = as_node(object)->id;
        return as_node(object)->host;
    }
    *id = ACCESS_PANEL;
    return panel_host(ATK_OBJECT(object));
}

// The type of node objects with these interfaces, registered the first time
// a node needs it.
GType node_type(unsigned features);

// The object standing for node `id`, made when first needed; the root's is
// the area's accessible, null until something has asked for that.
AtkObject *node_object(HostWindow *host, uint8_t id) {
    HostAccess &access = host->access;
    if (id == ACCESS_PANEL) return access.root;
    if (!access.nodes[id]) {
        KelmNode *node = (KelmNode *)g_object_new(node_type(features_of(access_tree.nodes[id])), NULL);
        node->host = host;
        node->id = id;
        access.nodes[id] = ATK_OBJECT(node);
    }
    return access.nodes[id];
}

// --- what the root and the other nodes answer alike ------------------------------------

// Named by the panel; the root too, from its first frame.
const gchar *node_get_name(AtkObject *object) {
    uint8_t id;
    return locate(object, &id) ? access_tree.nodes[id].name : "";
}

AtkRole node_get_role(AtkObject *object) {
    uint8_t id;
    return locate(object, &id) ? atk_role(access_tree.nodes[id].role) : ATK_ROLE_INVALID;
}

gint node_get_n_children(AtkObject *object) {
    uint8_t id, children[ACCESS_NODE_COUNT];
    return locate(object, &id) ? children_of(access_tree, id, children) : 0;
}

AtkObject *node_ref_child(AtkObject *object, gint i) {
    uint8_t id, children[ACCESS_NODE_COUNT];
    HostWindow *host = locate(object, &id);
    if (!host || i < 0 || i >= children_of(access_tree, id, children)) return NULL;
    return ATK_OBJECT(g_object_ref(node_object(host, children[i])));
}

// The child under a point: the last declared one, as the panel draws later
// widgets over earlier ones (the popup over the panel).
AtkObject *node_ref_accessible_at_point(AtkComponent *component, gint x, gint y, AtkCoordType coords) {
    uint8_t id, children[ACCESS_NODE_COUNT];
    HostWindow *host = locate(component, &id);
    if (!host) return NULL;
    for (int i = children_of(access_tree, id, children) - 1; i >= 0; i--) {
        AtkRectangle r;
        if (node_extents(host, access_tree.nodes[children[i]], coords, &r) && x >= r.x && y >= r.y &&
            x < r.x + r.width && y < r.y + r.height)
            return ATK_OBJECT(g_object_ref(node_object(host, children[i])));
    }
    return NULL;
}

// --- AtkObject: the other nodes' own ---------------------------------------------------

AtkObject *node_get_parent(AtkObject *object) {
    KelmNode *self = as_node(object);
    const AccessNode *node = node_of(object);
    return node && node->parent < ACCESS_NODE_COUNT ? node_object(self->host, node->parent) : NULL;
}

gint node_get_index_in_parent(AtkObject *object) {
    return node_of(object) ? index_in_parent(access_tree, as_node(object)->id) : -1;
}

AtkStateSet *node_ref_state_set(AtkObject *object) {
    AtkStateSet *set = atk_state_set_new();
    KelmNode *self = as_node(object);
    const AccessNode *node = node_of(object);
    if (!node) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    add_states(set, atk_states(*node, gtk_widget_get_mapped(self->host->area)));
    if (node->present && focused_node(self->host) == self->id) atk_state_set_add_state(set, ATK_STATE_FOCUSED);
    return set;
}

// --- AtkComponent ---------------------------------------------------------------------

void node_get_extents(AtkComponent *component, gint *x, gint *y, gint *width, gint *height, AtkCoordType coords) {
    AtkRectangle r = {0, 0, 0, 0};
    const AccessNode *node = node_of(component);
    if (node) node_extents(as_node(component)->host, *node, coords, &r);
    *x = r.x;
    *y = r.y;
    *width = r.width;
    *height = r.height;
}

// Only the panel knows what can take its focus: it is asked, and the area
// takes GTK's so that the keys that follow reach the panel.
gboolean node_grab_focus(AtkComponent *component) {
    KelmNode *self = as_node(component);
    const AccessNode *node = node_of(component);
    if (!node || !node->present || !(node->states & ACCESS_STATE_FOCUSABLE)) return FALSE;
    gtk_widget_grab_focus(self->host->area);
    return queue(self->host, ACCESS_DO_FOCUS, self->id);
}

// --- AtkAction ------------------------------------------------------------------------

gint node_get_n_actions(AtkAction *action) {
    const AccessNode *node = node_of(action);
    return node && node->verb != ACCESS_VERB_NONE ? 1 : 0;
}

// GTK's own buttons and check boxes call theirs "click".
const gchar *node_get_action_name(AtkAction *action, gint i) {
    const AccessNode *node = node_of(action);
    if (!node || i != 0) return NULL;
    switch (node->verb) {
    case ACCESS_VERB_PRESS:
    case ACCESS_VERB_TOGGLE: return "click";
    case ACCESS_VERB_FOCUS: return "activate";
    default: return NULL;
    }
}

// Whether the action does anything (a disabled box, a button under the
// popup) is the panel's to say when it runs it, as for a key.
gboolean node_do_action(AtkAction *action, gint i) {
    const AccessNode *node = node_of(action);
    if (!node || i != 0 || !node->present || node->verb == ACCESS_VERB_NONE) return FALSE;
    return queue(as_node(action)->host, ACCESS_DO_ACTIVATE, as_node(action)->id);
}

// --- AtkValue -------------------------------------------------------------------------

void node_get_value_and_text(AtkValue *value, gdouble *current, gchar **text) {
    const AccessNode *node = node_of(value);
    *current = node ? node->value : 0;
    if (text) *text = NULL;
}

AtkRange *node_get_range(AtkValue *value) {
    const AccessNode *node = node_of(value);
    return node ? atk_range_new(node->minimum, node->maximum, NULL) : NULL;
}

gdouble node_get_increment(AtkValue *value) {
    const AccessNode *node = node_of(value);
    return node ? node->step : 0;
}

// The only value in the panel is the limit.
void node_set_value(AtkValue *value, const gdouble new_value) {
    const AccessNode *node = node_of(value);
    if (!node || !node->present || !isfinite(new_value)) return;
    const double held = fmin(fmax(new_value, INT32_MIN), INT32_MAX);
    queue(as_node(value)->host, ACCESS_DO_SET_LIMIT, as_node(value)->id, (int32_t)lround(held));
}

// --- AtkText --------------------------------------------------------------------------
// Offsets count characters. Lines and paragraphs end where the text breaks
// its lines: how the panel wraps a long one is Nuklear's, and unknown here.

// An object's text, for the length of one call.
struct TextOf {
    char digits[16];
    const char *s;
    explicit TextOf(gpointer object) {
        const AccessNode *node = node_of(object);
        s = node ? text_of(*node, digits) : "";
    }
};

gint node_get_character_count(AtkText *text) { return (gint)g_utf8_strlen(TextOf(text).s, -1); }

gchar *node_get_text(AtkText *text, gint start, gint end) {
    const TextOf of(text);
    const char *s = of.s;
    const glong count = g_utf8_strlen(s, -1);
    if (end < 0 || end > count) end = (gint)count;
    if (start < 0) start = 0;
    if (start > end) start = end;
    return g_utf8_substring(s, start, end);
}

gunichar node_get_character_at_offset(AtkText *text, gint offset) {
    const TextOf of(text);
    const char *s = of.s;
    if (offset < 0 || offset >= g_utf8_strlen(s, -1)) return 0;
    return g_utf8_get_char(g_utf8_offset_to_pointer(s, offset));
}

bool is_boundary(const PangoLogAttr &attr, AtkTextGranularity granularity) {
    switch (granularity) {
    case ATK_TEXT_GRANULARITY_CHAR: return attr.is_cursor_position;
    case ATK_TEXT_GRANULARITY_WORD: return attr.is_word_start;
    case ATK_TEXT_GRANULARITY_SENTENCE: return attr.is_sentence_start;
    default: return attr.is_mandatory_break;   // lines and paragraphs alike
    }
}

gchar *node_get_string_at_offset(AtkText *text, gint offset, AtkTextGranularity granularity, gint *start, gint *end) {
    const TextOf of(text);
    const char *s = of.s;
    const gint count = (gint)g_utf8_strlen(s, -1);
    *start = *end = 0;
    if (offset < 0 || offset >= count) return g_strdup("");
    // Pango finds where words and sentences start in any script.
    PangoLogAttr *attrs = g_new(PangoLogAttr, count + 1);
    pango_get_log_attrs(s, (int)strlen(s), -1, pango_language_get_default(), attrs, count + 1);
    gint from = offset, to = offset + 1;
    while (from > 0 && !is_boundary(attrs[from], granularity)) from--;
    while (to < count && !is_boundary(attrs[to], granularity)) to++;
    g_free(attrs);
    *start = from;
    *end = to;
    return g_utf8_substring(s, from, to);
}

// The older call that some clients still make, by boundary instead.
gchar *node_get_text_at_offset(AtkText *text, gint offset, AtkTextBoundary boundary, gint *start, gint *end) {
    AtkTextGranularity granularity = ATK_TEXT_GRANULARITY_LINE;
    switch (boundary) {
    case ATK_TEXT_BOUNDARY_CHAR: granularity = ATK_TEXT_GRANULARITY_CHAR; break;
    case ATK_TEXT_BOUNDARY_WORD_START:
    case ATK_TEXT_BOUNDARY_WORD_END: granularity = ATK_TEXT_GRANULARITY_WORD; break;
    case ATK_TEXT_BOUNDARY_SENTENCE_START:
    case ATK_TEXT_BOUNDARY_SENTENCE_END: granularity = ATK_TEXT_GRANULARITY_SENTENCE; break;
    default: break;
    }
    return node_get_string_at_offset(text, offset, granularity, start, end);
}

// --- the types -------------------------------------------------------------------------

void action_init(gpointer g_iface, gpointer) {
    AtkActionIface *iface = (AtkActionIface *)g_iface;
    iface->do_action = node_do_action;
    iface->get_n_actions = node_get_n_actions;
    iface->get_name = node_get_action_name;
    iface->get_localized_name = node_get_action_name;
}

void value_init(gpointer g_iface, gpointer) {
    AtkValueIface *iface = (AtkValueIface *)g_iface;
    iface->get_value_and_text = node_get_value_and_text;
    iface->get_range = node_get_range;
    iface->get_increment = node_get_increment;
    iface->set_value = node_set_value;
}

void text_init(gpointer g_iface, gpointer) {
    AtkTextIface *iface = (AtkTextIface *)g_iface;
    iface->get_text = node_get_text;
    iface->get_character_count = node_get_character_count;
    iface->get_character_at_offset = node_get_character_at_offset;
    iface->get_string_at_offset = node_get_string_at_offset;
    iface->get_text_at_offset = node_get_text_at_offset;
}

GType node_type(unsigned features) {
    if (!features) return kelm_node_get_type();
    char name[64];
    snprintf(name, sizeof name, "KelmNode%s%s%s", (features & CAN_ACT) ? "Action" : "",
             (features & HAS_VALUE) ? "Value" : "", (features & HAS_TEXT) ? "Text" : "");
    GType type = g_type_from_name(name);
    if (type) return type;
    type = g_type_register_static_simple(kelm_node_get_type(), g_intern_string(name), sizeof(KelmNodeClass), NULL,
                                         sizeof(KelmNode), NULL, (GTypeFlags)0);
    static const GInterfaceInfo kAction = {action_init, NULL, NULL};
    static const GInterfaceInfo kValue = {value_init, NULL, NULL};
    static const GInterfaceInfo kText = {text_init, NULL, NULL};
    if (features & CAN_ACT) g_type_add_interface_static(type, ATK_TYPE_ACTION, &kAction);
    if (features & HAS_VALUE) g_type_add_interface_static(type, ATK_TYPE_VALUE, &kValue);
    if (features & HAS_TEXT) g_type_add_interface_static(type, ATK_TYPE_TEXT, &kText);
    return type;
}

// --- the root: the area's own accessible ---------------------------------------------------

// GTK says whether the area is focused; while one of the panel's widgets has
// the panel's focus, that widget is the focus instead.
AtkStateSet *panel_ref_state_set(AtkObject *object) {
    AtkStateSet *set = ATK_OBJECT_CLASS(kelm_panel_accessible_parent_class)->ref_state_set(object);
    HostWindow *host = panel_host(object);
    if (host && focused_node(host) != ACCESS_NONE) atk_state_set_remove_state(set, ATK_STATE_FOCUSED);
    return set;
}

// Made on a client's first question: from here on each frame's changes are told.
void panel_initialize(AtkObject *object, gpointer widget) {
    ATK_OBJECT_CLASS(kelm_panel_accessible_parent_class)->initialize(object, widget);
    HostWindow *host = G_TYPE_CHECK_INSTANCE_CAST(widget, kelm_area_get_type(), KelmArea)->host;
    if (!host) return;
    host->access.root = object;
    host->access.told = access_tree;
    host->access.told_focus = focused_node(host);
}

// --- notifications ------------------------------------------------------------------------

void tell_text_change(AtkObject *object, const AccessNode &before, const AccessNode &now, bool typed) {
    char digits_before[16], digits_now[16];
    const char *old_text = text_of(before, digits_before), *new_text = text_of(now, digits_now);
    // Only a text with the focus changes under the user's typing; any other
    // change is the "system"'s, which a screen reader does not echo as typed.
    g_signal_emit_by_name(object, typed ? "text-remove" : "text-remove::system", 0,
                          (gint)g_utf8_strlen(old_text, -1), old_text);
    g_signal_emit_by_name(object, typed ? "text-insert" : "text-insert::system", 0,
                          (gint)g_utf8_strlen(new_text, -1), new_text);
}

void tell_states(AtkObject *object, StateBits before, StateBits now) {
    for (int state = 0; state < ATK_STATE_LAST_DEFINED; state++) {
        const StateBits bit = (StateBits)1 << state;
        if ((before ^ now) & bit) atk_object_notify_state_change(object, (AtkState)state, (now & bit) != 0);
    }
}

const StateBits kShowing = ((StateBits)1 << ATK_STATE_VISIBLE) | ((StateBits)1 << ATK_STATE_SHOWING);

void tell(void *data, uint8_t id, uint8_t change, uint32_t) {
    HostWindow *host = (HostWindow *)data;
    HostAccess &access = host->access;
    const AccessNode &before = access.told.nodes[id], &now = access_tree.nodes[id];
    const bool mapped = gtk_widget_get_mapped(host->area);
    switch (change) {
    case ACCESS_CHANGE_SHOWN:
    case ACCESS_CHANGE_HIDDEN: {
        if (id == ACCESS_PANEL) return;   // the area itself: GTK tells of it
        // Told to the parent whatever a client has seen of the child: the
        // parent's count of children changes. A child that comes or goes with
        // its parent (the popup's) is told by the parent's own coming or going.
        const bool shown = change == ACCESS_CHANGE_SHOWN;
        const AccessNode &node = shown ? now : before;
        AtkObject *parent = node.parent < ACCESS_NODE_COUNT ? node_object(host, node.parent) : NULL;
        AtkObject *object = node_object(host, id);
        const int index = index_in_parent(shown ? access_tree : access.told, id);
        const StateBits was = atk_states(before, mapped) & kShowing, is = atk_states(now, mapped) & kShowing;
        if (!shown) tell_states(object, was, is);
        const bool parent_too = node.parent < ACCESS_NODE_COUNT &&
                                access.told.nodes[node.parent].present != access_tree.nodes[node.parent].present;
        if (parent && !parent_too) {
            const char *signal = shown ? "children-changed::add" : "children-changed::remove";
            g_signal_emit_by_name(parent, signal, index, object);
        }
        if (shown) tell_states(object, was, is);
        return;
    }
    default: break;
    }
    // The rest only for objects a client has been given.
    AtkObject *object = id == ACCESS_PANEL ? access.root : access.nodes[id];
    if (!object) return;
    const bool typed = id == access.told_focus;
    switch (change) {
    case ACCESS_CHANGE_NAME:
        g_object_notify(G_OBJECT(object), "accessible-name");
        // A message replaced by one of the other kind while the popup stays
        // open has another title, and another role.
        if (before.role != now.role) g_object_notify(G_OBJECT(object), "accessible-role");
        if ((features_of(now) & HAS_TEXT) && !(now.states & ACCESS_STATE_HAS_VALUE))
            tell_text_change(object, before, now, typed);
        break;
    case ACCESS_CHANGE_STATE: tell_states(object, atk_states(before, mapped), atk_states(now, mapped)); break;
    case ACCESS_CHANGE_VALUE:
        if (features_of(now) & HAS_VALUE) {
            g_object_notify(G_OBJECT(object), "accessible-value");
            g_signal_emit_by_name(object, "value-changed", (gdouble)now.value, (const gchar *)NULL);
        }
        if ((features_of(now) & HAS_TEXT) && (now.states & ACCESS_STATE_HAS_VALUE))
            tell_text_change(object, before, now, typed);
        break;
    case ACCESS_CHANGE_BOUNDS: {
        AtkRectangle r;
        node_extents(host, now, ATK_XY_WINDOW, &r);
        if (ATK_IS_COMPONENT(object)) g_signal_emit_by_name(object, "bounds-changed", &r);
        break;
    }
    default: break;   // the focus is told once the rest has been
    }
}

void tell_focus(HostWindow *host, uint8_t from, uint8_t to) {
    if (from != ACCESS_NONE && host->access.nodes[from]) {
        atk_object_notify_state_change(host->access.nodes[from], ATK_STATE_FOCUSED, FALSE);
        g_signal_emit_by_name(host->access.nodes[from], "focus-event", FALSE);
    }
    if (to != ACCESS_NONE && to != ACCESS_PANEL) {
        AtkObject *object = node_object(host, to);
        atk_object_notify_state_change(object, ATK_STATE_FOCUSED, TRUE);
        g_signal_emit_by_name(object, "focus-event", TRUE);
    }
}

}  // namespace

static void kelm_node_init(KelmNode *) {}

// The language the window's texts are in, for the screen reader's voice.
static const gchar *node_get_object_locale(AtkObject *) { return lang_code(); }

// What the root and the other nodes answer alike.
static void answer_as_nodes(AtkObjectClass *object, AtkComponentIface *component) {
    if (object) {
        object->get_name = node_get_name;
        object->get_role = node_get_role;
        object->get_n_children = node_get_n_children;
        object->ref_child = node_ref_child;
        object->get_object_locale = node_get_object_locale;
    }
    if (component) component->ref_accessible_at_point = node_ref_accessible_at_point;
}

static void kelm_node_class_init(KelmNodeClass *klass) {
    AtkObjectClass *object = ATK_OBJECT_CLASS(klass);
    answer_as_nodes(object, NULL);
    object->get_parent = node_get_parent;
    object->get_index_in_parent = node_get_index_in_parent;
    object->ref_state_set = node_ref_state_set;
}

static void node_component_init(AtkComponentIface *iface) {
    answer_as_nodes(NULL, iface);
    iface->get_extents = node_get_extents;
    iface->grab_focus = node_grab_focus;
}

static void kelm_panel_accessible_init(KelmPanelAccessible *) {}

// GtkWidgetAccessible's own parent, extents and focus stand for the root.
static void kelm_panel_accessible_class_init(KelmPanelAccessibleClass *klass) {
    AtkObjectClass *object = ATK_OBJECT_CLASS(klass);
    answer_as_nodes(object, NULL);
    object->initialize = panel_initialize;
    object->ref_state_set = panel_ref_state_set;
}

static void panel_component_init(AtkComponentIface *iface) { answer_as_nodes(NULL, iface); }

static void kelm_area_init(KelmArea *) {}

static void kelm_area_class_init(KelmAreaClass *klass) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), kelm_panel_accessible_get_type());
}

GtkWidget *host_access_area_new(HostWindow *host) {
    KelmArea *area = (KelmArea *)g_object_new(kelm_area_get_type(), NULL);
    area->host = host;
    return GTK_WIDGET(area);
}

void host_access_update(HostWindow *host) {
    HostAccess &access = host->access;
    if (!access.root) return;
    access_changes(&access.told, &access_tree, tell, host);
    const uint8_t focus = focused_node(host);
    if (focus != access.told_focus) tell_focus(host, access.told_focus, focus);
    access.told_focus = focus;
    access.told = access_tree;
}

void host_access_shutdown(HostWindow *host) {
    HostAccess &access = host->access;
    if (host->area) G_TYPE_CHECK_INSTANCE_CAST(host->area, kelm_area_get_type(), KelmArea)->host = NULL;
    for (AtkObject *&object : access.nodes) {
        if (!object) continue;
        as_node(object)->host = NULL;
        g_object_unref(object);
        object = NULL;
    }
    access.root = NULL;
}
