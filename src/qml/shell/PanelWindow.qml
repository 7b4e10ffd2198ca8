import QtQuick
import QtQuick.Window
import Lumora.Design
import Lumora.State
import Lumora.Account
import Lumora.Conversations

// The tray panel (or, without a tray host, the client's ordinary window). The host program sets
// its flags and position; this only declares what it holds.
Window {
    id: panel

    // The unread count for task bars, as the tray icon carries it.
    title: AppState.unreadCount > 0 ? qsTrId("window.titleUnread").arg(AppState.unreadCount) : qsTrId("Lumora")
    minimumWidth: 380
    minimumHeight: 520
    width: 420
    height: 600
    color: LmColor.background

    RootView {
        anchors.fill: parent
    }
}
