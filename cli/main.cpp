#include "CliCommands.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    // Start inside the event loop, so even a command that finishes at once can end it.
    QTimer::singleShot(0, &app, [arguments] {
        QCoro::connect(lumora::runCli(arguments), qApp, [](int code) { QCoreApplication::exit(code); });
    });
    return app.exec();
}
