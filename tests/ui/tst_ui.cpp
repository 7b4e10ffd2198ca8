#include "UiFixture.h"
#include "qml/design/IconProvider.h"
#include "qml/state/QmlTypes.h"

#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include "qml/ImportModules.h"

class Setup : public QObject {
    Q_OBJECT

public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine) {
        if (!m_fixture) {
            m_fixture = new UiFixture(this);
            m_fixture->reset();
            lumora::AppStateQml::provide(m_fixture->state());
            qmlRegisterSingletonInstance("LumoraTest", 1, 0, "Fixture", m_fixture);
        }
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        engine->addImageProvider(QString::fromLatin1(lumora::IconProvider::name), new lumora::IconProvider);
        lumora::followPreferences(m_fixture->state(), engine);
    }

private:
    UiFixture* m_fixture = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(lumora_ui, Setup)

#include "tst_ui.moc"
