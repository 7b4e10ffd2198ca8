#include "AppState.h"
#include "IconProvider.h"
#include "LmTypography.h"
#include "PanelHost.h"
#include "QmlTypes.h"
#include "SystemColorScheme.h"

#include <QApplication>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(LumoraPlugin)

int main(int argc, char* argv[]) {
    QApplication app(argc, argv); // the tray icon and its menu are widgets
    QApplication::setApplicationName(QStringLiteral("lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("lumora"));
    // Otherwise DejaVu wins the fallback and emoji come out monochrome.
    QApplication::setFont(lumora::LmTypography::body());
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    lumora::AppState state;
    lumora::AppStateQml::provide(&state);

    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.addImageProvider(QString::fromLatin1(lumora::IconProvider::name), new lumora::IconProvider);
    lumora::followLanguage(&state, &engine);

    lumora::SystemColorScheme desktopScheme(
        [] { return QGuiApplication::palette().color(QPalette::Window).lightness() < 128; });
    state.appearance()->setSystemPrefersDark(desktopScheme.prefersDark());
    QObject::connect(&desktopScheme, &lumora::SystemColorScheme::prefersDarkChanged, state.appearance(),
                     &lumora::AppearanceManager::setSystemPrefersDark);
    desktopScheme.start();

    lumora::PanelHost host(&engine);
    if (!host.load())
        return 1;
    return app.exec();
}
