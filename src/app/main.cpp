// The desktop program. For now a bare main window; the engine it will drive
// is in zorvane_core.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quenlor Corporation"));
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Zorvane"));
    window.resize(900, 600);
    window.show();
    return app.exec();
}
