// The smallest Qt Quick program with one window: the baseline scripts/bench-launch sets Lumora's
// launch time and memory beside. With --first-frame LAUNCHED_US (bash's EPOCHREALTIME, taken just
// before it started this program) it prints the microseconds from then to its first frame and quits,
// the baseline of scripts/bench-start.
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QUrl>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [](QObject* object, const QUrl&) {
            if (!object)
                QCoreApplication::exit(1);
        },
        Qt::QueuedConnection);
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/BareWindow/Main.qml")));
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--first-frame") && !engine.rootObjects().isEmpty()) {
        const long long launched = args[2].toLongLong();
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        QObject::connect(
            window, &QQuickWindow::frameSwapped, window,
            [launched] {
                const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
                std::printf("%lld\n", static_cast<long long>(now) - launched);
                std::fflush(stdout);
                std::_Exit(0);
            },
            Qt::DirectConnection);
    }
    return app.exec();
}
