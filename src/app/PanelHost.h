#pragma once

#include <QElapsedTimer>
#include <QMenu>
#include <QObject>
#include <QPointer>

class QQmlEngine;
class QQuickWindow;
class QSystemTrayIcon;

namespace lumora {

class AppState;

// The client's two windows and the tray icon. With a tray host the panel is a frameless window
// placed against the icon that hides when it loses focus; without one (GNOME without an extension,
// a bare X server) the panel is an ordinary window, and closing it quits.
class PanelHost : public QObject {
    Q_OBJECT

public:
    PanelHost(QQmlEngine* engine, AppState* state, QObject* parent = nullptr);
    ~PanelHost() override;

    bool load(); // false when the windows could not be built (the reason is on standard error)
    void togglePanel();
    void showPanel();
    void openSettings();

private:
    QQuickWindow* create(const char* type);
    void setUpTray();
    void retranslateMenu();
    void showUnread(); // the badge and the tooltip
    void placePanel();
    void onPanelActiveChanged();

    QQmlEngine* m_engine;
    AppState* m_state;
    QPointer<QQuickWindow> m_panel;
    QPointer<QQuickWindow> m_settings;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu m_menu;
    QElapsedTimer m_hiddenByFocusLoss;
};

} // namespace lumora
