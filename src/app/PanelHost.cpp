#include "app/PanelHost.h"

#include "app/PanelPlacement.h"
#include "app/TrayBadge.h"
#include "core/session/AppState.h"
#include "core/settings/TextCatalogue.h"
#include "qml/design/IconProvider.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QSystemTrayIcon>

namespace lumora {

PanelHost::PanelHost(QQmlEngine* engine, AppState* state, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_state(state) {
    // A notification that was activated opened its conversation; the user expects to see it.
    connect(m_state, &AppState::showRequested, this, &PanelHost::showPanel);
}

PanelHost::~PanelHost() {
    delete m_panel;
    delete m_settings;
}

namespace {
Q_LOGGING_CATEGORY(lcWindows, "lumora.windows")
}

QQuickWindow* PanelHost::create(const char* type) {
    // Built by type name from the module, as loadFromModule (Qt 6.5) would.
    QQmlComponent component(m_engine);
    component.setData(QByteArray("import Lumora\n") + type + " {}\n", QUrl());
    QObject* object = component.create();
    if (!object) {
        qCWarning(lcWindows).noquote() << component.errorString();
        return nullptr;
    }
    auto* window = qobject_cast<QQuickWindow*>(object);
    if (!window)
        delete object;
    return window;
}

bool PanelHost::load() {
    // Started first, so that a session kept in the store is the window's first screen.
    m_state->startBootstrap();
    m_panel = create("PanelWindow");
    if (!m_panel)
        return false;
    connect(m_panel, &QWindow::activeChanged, this,
            [this] { m_state->setWindowActive(m_panel->isActive()); });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        QApplication::setQuitOnLastWindowClosed(false);
        m_panel->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        connect(m_panel, &QWindow::activeChanged, this, &PanelHost::onPanelActiveChanged);
        setUpTray();
    } else {
        // The panel is then the only window, so closing it quits (Qt's default).
        m_panel->show();
    }
    return true;
}

void PanelHost::setUpTray() {
    m_tray = new QSystemTrayIcon(this);
    showUnread();
    connect(m_state, &AppState::unreadChanged, this, &PanelHost::showUnread);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            togglePanel();
    });
    retranslateMenu();
    m_tray->setContextMenu(&m_menu);
    // The menu's words follow the interface language like everything else.
    connect(m_engine, &QQmlEngine::uiLanguageChanged, this, &PanelHost::retranslateMenu);
    m_tray->show();
}

void PanelHost::retranslateMenu() {
    m_menu.clear();
    m_menu.addAction(catalogueText("tray.open"), this, &PanelHost::showPanel);
    m_menu.addAction(catalogueText("tray.settings"), this, &PanelHost::openSettings);
    m_menu.addSeparator();
    m_menu.addAction(catalogueText("tray.quit"), qApp, &QCoreApplication::quit);
}

void PanelHost::showUnread() {
    if (!m_tray)
        return;
    // Drawn per size, so the digits stay sharp where the tray asks for 16, 22 or 32 px.
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        const QImage image = IconProvider().requestImage(
            QStringLiteral("bubble.left.and.bubble.right.fill/0f6b63"), nullptr, QSize(side, side));
        icon.addPixmap(QPixmap::fromImage(withUnreadBadge(image, m_state->unreadCount())));
    }
    m_tray->setIcon(icon);
    m_tray->setToolTip(m_state->unreadSummary());
}

void PanelHost::togglePanel() {
    // A click on the icon first takes the focus from an open panel, which hides it; that same
    // click must not open it again.
    if (m_hiddenByFocusLoss.isValid() && m_hiddenByFocusLoss.elapsed() < 300)
        return;
    if (m_panel->isVisible())
        m_panel->hide();
    else
        showPanel();
}

void PanelHost::showPanel() {
    if (m_tray)
        placePanel();
    m_panel->show();
    m_panel->raise();
    m_panel->requestActivate();
}

void PanelHost::placePanel() {
    QScreen* screen = m_panel->screen() ? m_panel->screen() : QGuiApplication::primaryScreen();
    const QRect icon = m_tray->geometry();
    if (QScreen* iconScreen = QGuiApplication::screenAt(icon.center()))
        screen = iconScreen;
    m_panel->setScreen(screen);
    m_panel->setPosition(panelPosition(icon, m_panel->size(), screen->availableGeometry(),
                                       QGuiApplication::layoutDirection() == Qt::RightToLeft));
}

void PanelHost::onPanelActiveChanged() {
    if (!m_panel->isActive() && m_panel->isVisible()) {
        m_panel->hide();
        m_hiddenByFocusLoss.start();
    }
}

void PanelHost::openSettings() {
    if (!m_settings)
        m_settings = create("SettingsWindow");
    if (!m_settings)
        return;
    m_settings->show();
    m_settings->raise();
    m_settings->requestActivate();
}

} // namespace lumora
