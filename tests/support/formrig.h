#pragma once
// A main window on a LinkRig, with a fixed time and a recording desktop. Nothing real is opened.

#include "support/fixedtime.h"
#include "support/linkrig.h"
#include "support/recordingdesktop.h"
#include "ui/form1.h"

#include <QLabel>
#include <QRadioButton>

namespace tikvor::test {

struct Window : LinkRig {
    FixedTime time;
    RecordingDesktop desktop;
    Form1 form;

    explicit Window(bool showInTaskbar = true)
        : form(Form1Options{folder.path(), &time, &desktop, &lines, showInTaskbar, lineClock()})
    {
    }
    DisplayLink& link() override { return form.link(); }

    template <typename T = QWidget> T* control(const char* name)
    {
        T* w = form.findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QString picture(const char* name) { return control<PictureBox>(name)->source(); }
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
