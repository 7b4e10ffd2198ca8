import QtQuick
import QtQuick.Window
import Lumora.Design
import Lumora.State
import Lumora.Account
import Lumora.Conversations

Window {
    id: settingsWindow

    title: qsTrId("settings.title")
    width: 440
    height: 480
    minimumWidth: 440
    maximumWidth: 440
    minimumHeight: 480
    maximumHeight: 480
    color: LmColor.background

    // A settings window closes on Escape, as dialogs do.
    Shortcut {
        sequence: StandardKey.Cancel
        onActivated: settingsWindow.close()
    }

    Item {
        anchors.fill: parent
        LayoutMirroring.enabled: AppState.language.layoutDirection === Qt.RightToLeft
        LayoutMirroring.childrenInherit: true

        SettingsView {
            anchors.fill: parent
            embedded: false
        }
    }
}
