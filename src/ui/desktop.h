#pragma once
// The outside effects of the window that are not drawing: message boxes,
// the browser, a terminal, the end of the program. Tests put a recording
// desktop in their place so no box blocks and nothing is started.

#include <QString>

#include <functional>

class QWidget;

namespace tikvor {

enum class BoxIcon { Critical, Information };

class Desktop {
public:
    virtual ~Desktop() = default;
    // Modal, one OK button; returns when the user has closed it.
    virtual void message(QWidget* owner, const QString& text, const QString& title,
                         BoxIcon icon) = 0;
    virtual void openUrl(const QString& url) = 0;
    // Starts the system's command interpreter in a window of its own, over `owner`, without
    // holding the caller: a consent prompt may stay up for as long as the user likes. `done`
    // then runs on the caller's thread, with false when none started, unless `owner` is gone.
    virtual void startTerminal(QWidget* owner, std::function<void(bool started)> done) = 0;
};

// The real desktop.
class SystemDesktop final : public Desktop {
public:
    void message(QWidget* owner, const QString& text, const QString& title, BoxIcon icon) override;
    void openUrl(const QString& url) override;
    void startTerminal(QWidget* owner, std::function<void(bool started)> done) override;
};

} // namespace tikvor
