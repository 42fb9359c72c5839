#pragma once

#include <QApplication>
#include <QStringList>

namespace zorvane {

// Zorvane's application: one copy per user and program file, which a later
// start brings to the front (handing it the files it was started with), the
// per-user settings store's name, and the main window run until it closes.
class CVELTApp : public QApplication {
    Q_OBJECT
public:
    CVELTApp(int& argc, char** argv);

    // The whole start and run; returns the process's exit status: 0 after a
    // normal close, and also for a later copy that handed over to the first.
    int InitInstance();

    // The files and folders named on the command line, made absolute; the
    // options of the toolkit (-style, -platform ...) are already gone.
    static QStringList PathArguments(const QStringList& arguments);
};

} // namespace zorvane
