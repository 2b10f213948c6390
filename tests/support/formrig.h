#pragma once
// A main window in a throw-away program folder, with a fixed time, a
// recording desktop and recording serial lines (tests/support). Nothing real is opened.

#include "support/programfolder.h"
#include "support/recordinglines.h"
#include "ui/desktop.h"
#include "ui/form1.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>

namespace tikvor::test {

class FixedTime : public TimeSource {
public:
    QTime now{9, 5, 7};
    QTime currentTime() const override { return now; }
};

class RecordingDesktop : public Desktop {
public:
    QStringList events; // "box:<title>:<text>", "url:<address>", "terminal"
    bool terminalStarts = true;
    std::function<void()> duringBox; // runs while a box is up
    void message(QWidget*, const QString& text, const QString& title, BoxIcon icon) override
    {
        if (duringBox)
            duringBox();
        events << QStringLiteral("box:%1:%2%3")
                      .arg(title, icon == BoxIcon::Critical ? "!" : "i", text);
    }
    void openUrl(const QString& url) override { events << "url:" + url; }
    bool startTerminal() override
    {
        events << "terminal";
        return terminalStarts;
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

struct Window {
    ProgramFolder folder;
    FixedTime time;
    RecordingDesktop desktop;
    RecordingLines lines;
    std::atomic<qint64> lineClock = 0; // ms, for the line thread's retries
    Form1 form{Form1Options{folder.path(), &time, &desktop, &lines, true,
                            [this] { return lineClock.load() * 1000; }}};

    template <typename T = QWidget> T* control(const char* name)
    {
        T* w = form.findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QString picture(const char* name) { return control<PictureBox>(name)->source(); }
    // Frames and port choices run on a thread of their own; this waits until it has nothing
    // left to do and shows in the window what it reported (and nothing else: no timer runs).
    void settle()
    {
        if (LineSender* sender = form.lineSender())
            QVERIFY(sender->waitIdle(5000));
        QCoreApplication::sendPostedEvents(&form.link(), QEvent::MetaCall);
    }
    bool load()
    {
        const bool loaded = form.Form_Load();
        settle();
        return loaded;
    }
    QString sentLines()
    {
        settle();
        return lines.lineCalls();
    }
    void clearLines()
    {
        settle();
        lines.clear();
    }
    QString text(const char* name) { return control<QLabel>(name)->text(); }
    void click(const char* name) { QTest::mouseClick(control(name), Qt::LeftButton); }
    void clickOption(int n)
    {
        auto* o = control<QRadioButton>(qPrintable(QString("Option%1").arg(n)));
        QTest::mouseClick(o, Qt::LeftButton, {}, QPoint(6, o->height() / 2));
        settle();
    }
};

} // namespace tikvor::test
