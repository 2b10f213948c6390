// Tikvor_1 and Tikvor_0: the same program; Tikvor_0's window has no taskbar button.

#include "ui/form1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tikvor"));

    tikvor::Form1Options options;
    options.programFolder = QCoreApplication::applicationDirPath();
    options.showInTaskbar = TIKVOR_SHOW_IN_TASKBAR;
    tikvor::Form1 form(options);
    if (!form.Form_Load())
        return 1; // the refusal has been shown and the program has already ended
    return app.exec();
}
