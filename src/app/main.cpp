#include "app/PanelHost.h"
#include "core/conversations/AttachmentFiles.h"
#include "core/desktop/SystemColorScheme.h"
#include "core/session/AppState.h"
#include "qml/design/IconProvider.h"
#include "qml/design/LmTypography.h"
#include "qml/state/QmlTypes.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtConcurrent/QtConcurrentRun>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>

#include "qml/ImportModules.h"

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    {
        // --help and --version answer before there is an application, so they need no display.
        // Qt's own options (-platform, -reverse, …) are left to QApplication: unknown ones are ignored.
        QCommandLineParser options;
        options.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        const QCommandLineOption version = options.addVersionOption();
        const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                      QStringLiteral("Displays help on commandline options."));
        options.addOption(help);
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        options.parse(arguments);
        if (options.isSet(version))
            options.showVersion();
        if (options.isSet(help)) { // not showHelp(): without an application it names no program
            std::fputs(qPrintable(options.helpText().replace(QStringLiteral("<executable_name>"),
                                                             QStringLiteral("lumora"))),
                       stdout);
            return 0;
        }
    }

    QApplication app(argc, argv); // the tray icon and its menu are widgets
    // The ID of packaging/app.lumora.Lumora.desktop, its metainfo and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("app.lumora.Lumora"));
    // Otherwise DejaVu wins the fallback and emoji come out monochrome.
    QApplication::setFont(lumora::LmTypography::body());
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    lumora::AppState state;
    // The cache of received files stays within bounds: pruned before any transfer, off this thread.
    (void)QtConcurrent::run([] { lumora::AttachmentFiles::pruneCache(); });
    lumora::AppStateQml::provide(&state);

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.addImageProvider(QString::fromLatin1(lumora::IconProvider::name), new lumora::IconProvider);
    lumora::followPreferences(&state, &engine);

    lumora::SystemColorScheme desktopScheme(
        [] { return QGuiApplication::palette().color(QPalette::Window).lightness() < 128; });
    state.appearance()->setSystemPrefersDark(desktopScheme.prefersDark());
    QObject::connect(&desktopScheme, &lumora::SystemColorScheme::prefersDarkChanged, state.appearance(),
                     &lumora::AppearanceManager::setSystemPrefersDark);
    desktopScheme.start();

    lumora::PanelHost host(&engine, &state);
    if (!host.load())
        return 1;
    return app.exec();
}
