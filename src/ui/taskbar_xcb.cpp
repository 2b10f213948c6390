#include "taskbar.h"

#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace tikvor {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

class SkipTaskbar : public QObject {
public:
    SkipTaskbar(QWidget* window, xcb_connection_t* connection)
        : QObject(window), m_window(window), m_c(connection),
          m_state(internAtom(connection, "_NET_WM_STATE")),
          m_skip(internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // Show comes before the window is mapped: the window manager reads the state then.
        // Once mapped, the state belongs to the window manager and is changed by asking it.
        // A spontaneous Show is the window system's report of a mapping that has happened.
        if (event->type() == QEvent::Show) {
            if (!event->spontaneous())
                writeOnUnmapped();
            QTimer::singleShot(0, this, &SkipTaskbar::askWindowManager);
        } else if (event->type() == QEvent::WindowStateChange && !m_window->isMinimized()) {
            QTimer::singleShot(0, this, &SkipTaskbar::askWindowManager);
        }
        return false;
    }

private:
    xcb_window_t id() const { return xcb_window_t(m_window->winId()); }

    void writeOnUnmapped()
    {
        // Qt keeps the atoms it finds here when it writes its own states before mapping.
        std::vector<xcb_atom_t> atoms;
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, id(), m_state, XCB_ATOM_ATOM, 0, 1024), nullptr));
        if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
            atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
        }
        for (xcb_atom_t a : atoms) {
            if (a == m_skip)
                return;
        }
        atoms.push_back(m_skip);
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, id(), m_state, XCB_ATOM_ATOM, 32,
                            uint32_t(atoms.size()), atoms.data());
        xcb_flush(m_c);
    }

    void askWindowManager()
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id();
        message.type = m_state;
        message.data.data32[0] = 1; // _NET_WM_STATE_ADD
        message.data.data32[1] = m_skip;
        message.data.data32[3] = 1; // asked by an application
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        xcb_send_event(m_c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(m_c);
    }

    QWidget* m_window;
    xcb_connection_t* m_c;
    xcb_atom_t m_state;
    xcb_atom_t m_skip;
};

} // namespace

void keepOffTaskbar(QWidget* window)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return; // Wayland and offscreen have no such request
    new SkipTaskbar(window, x11->connection());
}

} // namespace tikvor
