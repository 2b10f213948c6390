#pragma once
// A desktop that shows nothing and starts nothing: each message box, address and terminal asked
// for is written down instead.

#include "ui/desktop.h"

#include <QStringList>

#include <functional>

namespace tikvor::test {

class RecordingDesktop : public Desktop {
public:
    QStringList events; // "box:<title>:<text>", "url:<address>", "terminal"
    bool terminalStarts = true;
    // Set, the terminal's answer waits here until the test gives it (a consent prompt still up).
    bool terminalAnswersLater = false;
    std::function<void(bool)> terminalAnswer;
    std::function<void()> duringBox; // runs while a box is up
    void message(QWidget*, const QString& text, const QString& title, BoxIcon icon) override
    {
        if (duringBox)
            duringBox();
        events << QStringLiteral("box:%1:%2%3")
                      .arg(title, icon == BoxIcon::Critical ? "!" : "i", text);
    }
    void openUrl(const QString& url) override { events << "url:" + url; }
    void startTerminal(QWidget*, std::function<void(bool)> done) override
    {
        events << "terminal";
        if (terminalAnswersLater)
            terminalAnswer = std::move(done);
        else
            done(terminalStarts);
    }
    QStringList titles() const
    {
        QStringList out;
        for (const QString& e : events)
            if (e.startsWith("box:"))
                out << e.section(':', 1, 1);
        return out;
    }
};

} // namespace tikvor::test
