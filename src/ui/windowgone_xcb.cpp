#include "windowgone.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <xcb/xcb.h>

namespace tikvor {
namespace {

// Qt selects structure notifications on its top-level windows, so their DestroyNotify reaches
// the native event filters, which see every event before Qt does.
class DestroyWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    DestroyWatch(QWidget* window, std::function<void()> gone)
        : QObject(window), m_window(window), m_gone(std::move(gone))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~DestroyWatch() override
    {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        if (type != "xcb_generic_event_t" || !m_gone || !m_window)
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != XCB_DESTROY_NOTIFY)
            return false;
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        // Our own destruction of the window (at the end) comes after the way out began.
        if (!m_window->testAttribute(Qt::WA_WState_Created) ||
            destroyed->window != xcb_window_t(m_window->internalWinId()))
            return false;
        std::function<void()> gone = std::exchange(m_gone, {});
        gone();
        return false;
    }

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_gone;
};

} // namespace

void onWindowDestroyed(QWidget* window, std::function<void()> gone)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    new DestroyWatch(window, std::move(gone));
}

} // namespace tikvor
