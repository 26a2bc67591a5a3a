#include "desktop.h"

#include "handover.h"

#include <QAbstractNativeEventFilter>
#include <QDeadlineTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace {

// How long a manager may take to answer a request to activate a window
// before it counts as having ignored it; on a loaded machine a late answer
// only makes the second request needless.
constexpr std::chrono::milliseconds kIgnoredAfter{300};

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr; // null on Wayland or offscreen
}

xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Runs `apply` on the window once it exists: now, or when it is first shown
// (the show event comes after the native window is made and before it is
// mapped). Making the native window earlier would fix its gravity before the
// bar is placed.
template <typename Apply> void whenCreated(QWidget *window, Apply apply)
{
    if (window->testAttribute(Qt::WA_WState_Created)) {
        apply();
        return;
    }
    struct OnShow : QObject
    {
        Apply apply;
        OnShow(QObject *parent, Apply a) : QObject(parent), apply(std::move(a)) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Show) {
                apply();
                deleteLater();
                parent()->removeEventFilter(this);
            }
            return false;
        }
    };
    window->installEventFilter(new OnShow(window, std::move(apply)));
}

bool managerRuns(xcb_connection_t *c, xcb_window_t root, xcb_atom_t check)
{
    // The manager's check window names itself; a stale property from a
    // manager that died points to a window that is gone.
    const auto cookie = xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr);
    xcb_window_t child = XCB_WINDOW_NONE;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        child = *static_cast<xcb_window_t *>(xcb_get_property_value(reply));
    free(reply);
    if (child == XCB_WINDOW_NONE)
        return false;
    xcb_get_window_attributes_reply_t *attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, child), nullptr);
    const bool alive = attributes != nullptr;
    free(attributes);
    return alive;
}

// Raises the window when the server says something covers it. Qt sets its
// own event mask and sets it again whenever the window's flags change (which
// also rewrites WM_HINTS), so the mask is added back on each such change.
class KeepAbove : public QObject, public QAbstractNativeEventFilter
{
public:
    // Owned by the window; a filter removes itself from the application when
    // it is destroyed.
    KeepAbove(QWidget *window, xcb_connection_t *c)
        : QObject(window), m_window(window), m_connection(c), m_id(xcb_window_t(window->winId())),
          m_check(internAtom(c, "_NET_SUPPORTING_WM_CHECK"))
    {
        watch();
        qGuiApp->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t" || !m_window)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        switch (event->response_type & 0x7f) {
        case XCB_VISIBILITY_NOTIFY: {
            const auto *v = reinterpret_cast<const xcb_visibility_notify_event_t *>(event);
            if (v->window == m_id && v->state != XCB_VISIBILITY_UNOBSCURED)
                raise();
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto *p = reinterpret_cast<const xcb_property_notify_event_t *>(event);
            if (p->window == m_id && p->atom == XCB_ATOM_WM_HINTS)
                watch();
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    void watch()
    {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, m_id), nullptr);
        if (!attributes)
            return;
        const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
        if (mask != attributes->your_event_mask)
            xcb_change_window_attributes(m_connection, m_id, XCB_CW_EVENT_MASK, &mask);
        free(attributes);
    }

    void raise()
    {
        // Two programs doing this would raise each other for ever: a few
        // raises a second at most.
        if (m_budget.hasExpired()) {
            m_budget = QDeadlineTimer(1000);
            m_raises = 0;
        }
        if (++m_raises > 5)
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        if (!screen || managerRuns(m_connection, screen->root, m_check))
            return;
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_connection, m_id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_flush(m_connection);
    }

    QPointer<QWidget> m_window;
    xcb_connection_t *m_connection;
    xcb_window_t m_id;
    xcb_atom_t m_check; // _NET_SUPPORTING_WM_CHECK, asked for once
    QDeadlineTimer m_budget{0};
    int m_raises = 0;
};

// Ends the busy feedback a launcher shows for the launch `id` (the startup
// notification "remove" message, broadcast in pieces of 20 bytes).
void endLaunchFeedback(xcb_connection_t *c, xcb_window_t root, xcb_window_t from,
                       const QByteArray &id)
{
    QByteArray message = "remove: ID=\"";
    for (const char ch : id) {
        if (ch == '"' || ch == '\\')
            message += '\\';
        message += ch;
    }
    message += "\"";
    message += '\0';
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = from;
    event.type = internAtom(c, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = internAtom(c, "_NET_STARTUP_INFO");
    for (qsizetype sent = 0; sent < message.size(); sent += 20) {
        std::memset(event.data.data8, 0, sizeof event.data.data8);
        std::memcpy(event.data.data8, message.constData() + sent,
                    size_t(std::min<qsizetype>(20, message.size() - sent)));
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char *>(&event));
        event.type = more;
    }
}

void askToActivate(xcb_connection_t *c, xcb_window_t root, xcb_window_t id, uint32_t source,
                   xcb_timestamp_t time)
{
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = id;
    event.type = internAtom(c, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = source;
    event.data.data32[1] = time;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

// The values of a window's property of 32-bit items (atoms, windows).
std::vector<uint32_t> property32(xcb_connection_t *c, xcb_window_t id, xcb_atom_t name,
                                 xcb_atom_t type)
{
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, name, type, 0, 64), nullptr);
    std::vector<uint32_t> values;
    if (reply && reply->format == 32) {
        const auto *first = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        values.assign(first, first + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return values;
}

// Asks for the window to be made active, with the time of the user's action
// that asked for it: managers that prevent focus stealing compare it with
// the user's last action in the active window.
void activate(QWidget *window, xcb_connection_t *c, xcb_timestamp_t time,
              const QByteArray &launchId)
{
    const auto id = xcb_window_t(window->winId());
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return;
    if (!launchId.isEmpty())
        endLaunchFeedback(c, screen->root, id, launchId);
    if (!managerRuns(c, screen->root, internAtom(c, "_NET_SUPPORTING_WM_CHECK"))) {
        // Nobody else gives the focus: the window takes it.
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, time);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_flush(c);
        return;
    }
    // First as an application asks (source 1), the least a manager may be
    // asked for: it may refuse by its rules, and then marks the window as
    // demanding attention. A manager that neither grants nor refuses has
    // ignored it: KWin ignores any request for a window it still takes as
    // about to be focused, which a click on a window that refuses the focus
    // leaves it believing. Then as the user's own tools ask (source 2).
    // Not when the user has gone on to another window meanwhile.
    const xcb_window_t root = screen->root;
    const xcb_atom_t active = internAtom(c, "_NET_ACTIVE_WINDOW");
    const auto activeBefore = property32(c, root, active, XCB_ATOM_WINDOW);
    askToActivate(c, root, id, 1, time);
    QTimer::singleShot(kIgnoredAfter, window, [=] {
        const auto states = property32(c, id, internAtom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM);
        const bool refused =
            std::ranges::count(states, internAtom(c, "_NET_WM_STATE_DEMANDS_ATTENTION")) > 0;
        if (!window->isActiveWindow() && !refused &&
            property32(c, root, active, XCB_ATOM_WINDOW) == activeBefore)
            askToActivate(c, root, id, 2, time);
    });
}

// Waits for the server to report a change of the window's property `atom`:
// the report carries the server's time, the freshest time there is for a
// request the user made without a launcher to say when (a key bound to the
// program, a shell). Gone once it has seen it, or with the window.
class AtServerTime : public QObject, public QAbstractNativeEventFilter
{
public:
    AtServerTime(QWidget *window, xcb_atom_t atom, std::function<void(xcb_timestamp_t)> then)
        : QObject(window), m_id(xcb_window_t(window->winId())), m_atom(atom),
          m_then(std::move(then))
    {
        qGuiApp->installNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t" || !m_then)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto *p = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (p->window == m_id && p->atom == m_atom) {
            std::exchange(m_then, nullptr)(p->time);
            deleteLater();
        }
        return false;
    }

private:
    xcb_window_t m_id;
    xcb_atom_t m_atom;
    std::function<void(xcb_timestamp_t)> m_then;
};

} // namespace

void keepOutOfTaskbar(QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    whenCreated(window, [window, c] {
        // Qt marks a tool window as a utility window, which most taskbars
        // skip, but only the explicit states are binding. Qt merges the
        // states it sets at mapping time with what the window already has.
        const auto id = xcb_window_t(window->winId());
        const xcb_atom_t states[] = {internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                     internAtom(c, "_NET_WM_STATE_SKIP_PAGER")};
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, internAtom(c, "_NET_WM_STATE"),
                            XCB_ATOM_ATOM, 32, 2, states);
        xcb_flush(c);
    });
}

void takeFocusOnlyWhenGiven(QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    whenCreated(window, [window, c] {
        const auto id = xcb_window_t(window->winId());
        const xcb_atom_t protocols = internAtom(c, "WM_PROTOCOLS");
        std::vector<uint32_t> offered = property32(c, id, protocols, XCB_ATOM_ATOM);
        if (std::erase(offered, internAtom(c, "WM_TAKE_FOCUS")) > 0)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, protocols, XCB_ATOM_ATOM, 32,
                                uint32_t(offered.size()), offered.data());
    });
}

Qt::WindowFlags barWindowType()
{
    return connection() ? Qt::Window : Qt::Tool;
}

Qt::WindowType dialogWindowType(Qt::WindowType native)
{
    // Qt makes a tool or dialog window without a parent transient for its
    // hidden leader window, and mutter and KWin then keep it above every
    // window of the program, the always-on-top bar included.
    return connection() ? Qt::Window : native;
}

void makeTopmost(QWidget *)
{
    // _NET_WM_STATE_ABOVE, from the stay-on-top hint, is the whole of it.
}

void keepAboveWithoutManager(QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c)
        return;
    whenCreated(window, [window, c] { new KeepAbove(window, c); });
}

void giveShapeAgain(QWidget *window)
{
    // Straight to the QWindow: the widget skips a mask equal to its last.
    if (connection() && window->windowHandle() && !window->mask().isEmpty())
        window->windowHandle()->setMask(window->mask());
}

QSize outerSizeBeforeShow(QWidget *window)
{
    return window->frameGeometry().size();
}

void bringForward(QWidget *window, const QByteArray &launchId)
{
    xcb_connection_t *c = connection();
    if (!c || !window->testAttribute(Qt::WA_WState_Created)) {
        window->raise();
        window->activateWindow();
        return;
    }
    const auto id = xcb_window_t(window->winId());
    // The launch's id on the window tells the manager which launch it
    // answers (and so on which desktop and with which time it belongs).
    const xcb_atom_t startupId = internAtom(c, "_NET_STARTUP_ID");
    if (!launchId.isEmpty())
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, startupId, internAtom(c, "UTF8_STRING"),
                            8, uint32_t(launchId.size()), launchId.constData());
    if (const std::optional<quint32> time = handover::launchTime(launchId)) {
        activate(window, c, *time, launchId);
        return;
    }
    // No time from the launcher: the server's own time, from a change of a
    // property (the startup id just set, or an empty one).
    xcb_atom_t changed = startupId;
    if (launchId.isEmpty()) {
        changed = internAtom(c, "_MARGLET_BROUGHT");
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, changed, XCB_ATOM_CARDINAL, 32, 0,
                            nullptr);
    }
    new AtServerTime(window, changed, [window, c, launchId](xcb_timestamp_t time) {
        activate(window, c, time, launchId);
    });
    xcb_flush(c);
}

namespace {

const xcb_screen_t *firstScreen(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

bool exists(xcb_connection_t *c, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t *attributes =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool alive = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(attributes);
    return alive;
}

} // namespace

quintptr foreignFocusWindow()
{
    xcb_connection_t *c = connection();
    const xcb_screen_t *screen = c ? firstScreen(c) : nullptr;
    if (!screen)
        return 0;
    xcb_window_t window = XCB_WINDOW_NONE;
    if (managerRuns(c, screen->root, internAtom(c, "_NET_SUPPORTING_WM_CHECK"))) {
        // The manager names the window it made active; the server's focus
        // may be a frame of the manager's own.
        const auto cookie = xcb_get_property(
            c, 0, screen->root, internAtom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr);
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
            window = *static_cast<xcb_window_t *>(xcb_get_property_value(reply));
        free(reply);
    } else if (xcb_get_input_focus_reply_t *focus =
                   xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)) {
        window = focus->focus;
        free(focus);
    }
    if (window == screen->root || window == XCB_INPUT_FOCUS_POINTER_ROOT)
        return 0;
    for (const QWindow *own : QGuiApplication::allWindows()) {
        if (own->handle() && own->winId() == window)
            return 0;
    }
    return window;
}

void focusForeignWindow(quintptr window)
{
    xcb_connection_t *c = connection();
    const xcb_screen_t *screen = c ? firstScreen(c) : nullptr;
    const auto id = xcb_window_t(window);
    if (!screen || !id || !exists(c, id))
        return;
    if (managerRuns(c, screen->root, internAtom(c, "_NET_SUPPORTING_WM_CHECK"))) {
        // Asked as for a direct action of the user (source 2): the user's
        // key or click closed the dialog, and managers grant such a request
        // without weighing it as a program stealing the focus.
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = internAtom(c, "_NET_ACTIVE_WINDOW");
        message.data.data32[0] = 2;
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
    } else {
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    }
    xcb_flush(c);
}
