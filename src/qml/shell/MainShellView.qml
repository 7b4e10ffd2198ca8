import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State
import Lumora.Account
import Lumora.Conversations

// The signed-in shell: header, content by tab and open conversation, tab bar.
ColumnLayout {
    id: shell

    readonly property string contentKind: AppState.tab === AppState.Profile ? "profile"
                                          : AppState.tab === AppState.Settings ? "settings"
                                          : AppState.hasSelectedConversation ? "chat" : "inbox"
    readonly property alias adminButton: adminButton
    readonly property alias adminPopover: adminPopover
    readonly property alias quickSwitcher: quickSwitcher

    spacing: 0

    // Ctrl+1, 2, 3 switch tabs; Ctrl+, opens the settings.
    Shortcut { sequence: "Ctrl+1"; onActivated: AppState.selectTab(AppState.Inbox) }
    Shortcut { sequence: "Ctrl+2"; onActivated: AppState.selectTab(AppState.Profile) }
    Shortcut { sequences: ["Ctrl+3", StandardKey.Preferences, "Ctrl+,"]; onActivated: AppState.selectTab(AppState.Settings) }
    // Ctrl+K: the quick switcher, to any conversation by its title.
    Shortcut {
        sequence: "Ctrl+K"
        onActivated: {
            AppState.selectTab(AppState.Inbox)
            quickSwitcher.open()
        }
    }
    QuickSwitcher { id: quickSwitcher }

    RowLayout {
        id: header
        Layout.fillWidth: true
        Layout.leftMargin: 14
        Layout.rightMargin: 14
        Layout.topMargin: 10
        Layout.bottomMargin: 10
        spacing: 10

        Text {
            text: qsTrId("Lumora")
            font: LmTypography.title
            color: LmColor.accent
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            text: qsTrId("lumora")
            font: LmTypography.micro
            color: LmColor.withOpacity(LmColor.foreground, 0.45)
            Accessible.ignored: true
        }
        Item { Layout.fillWidth: true }

        AbstractButton {
            id: adminButton
            visible: AppState.auth.isAdmin
            Accessible.ignored: !visible
            Accessible.role: Accessible.Button
            Accessible.name: qsTrId("admin.open")
            onClicked: AppState.showAdmin = true
            LmFocusRing { shown: adminButton.visualFocus }

            contentItem: Row {
                spacing: 4
                LmIcon {
                    name: "shield.checkered"
                    color: LmColor.copper
                    size: 13
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    text: qsTrId("admin.open")
                    font: LmTypography.caption
                    color: LmColor.copper
                    anchors.verticalCenter: parent.verticalCenter
                }
            }
        }

        Row {
            id: userRow
            visible: AppState.auth.hasCurrentUser
            spacing: 4
            opacity: 0.75
            Layout.maximumWidth: 180

            CountryFlagView {
                visible: AppState.auth.countryCode !== ""
                countryCode: AppState.auth.countryCode
                size: 12
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                text: AppState.auth.displayName
                font: LmTypography.caption
                color: LmColor.foreground
                elide: Text.ElideRight
                maximumLineCount: 1
                width: Math.min(implicitWidth, 160)
                anchors.verticalCenter: parent.verticalCenter
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }

    // The session is still being checked, or the service cannot be reached: what shows is what this
    // computer kept.
    Text {
        objectName: "connectionLine"
        visible: AppState.auth.connection !== AuthService.Online
        text: AppState.auth.connection === AuthService.Connecting ? qsTrId("shell.connecting")
                                                                  : qsTrId("shell.offline")
        font: LmTypography.micro
        color: LmColor.withOpacity(LmColor.foreground, 0.6)
        Layout.leftMargin: 14
        Layout.rightMargin: 14
        Layout.bottomMargin: 6
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignLeft
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    LmDivider {}

    Loader {
        id: content
        Layout.fillWidth: true
        Layout.fillHeight: true
        sourceComponent: {
            switch (shell.contentKind) {
            case "chat": return chatScreen
            case "profile": return profileScreen
            case "settings": return settingsScreen
            default: return inboxScreen
            }
        }
    }

    RowLayout {
        id: tabBar
        Layout.fillWidth: true
        Layout.leftMargin: 8
        Layout.rightMargin: 8
        Layout.topMargin: 6
        Layout.bottomMargin: 6
        spacing: 0

        Repeater {
            model: [
                { tab: AppState.Inbox, title: QT_TRID_NOOP("tab.inbox"), icon: "tray.fill" },
                { tab: AppState.Profile, title: QT_TRID_NOOP("tab.profile"), icon: "person.crop.circle" },
                { tab: AppState.Settings, title: QT_TRID_NOOP("tab.settings"), icon: "gearshape" }
            ]
            delegate: ShellTabButton {
                required property var modelData
                title: qsTrId(modelData.title)
                iconName: modelData.icon
                selected: AppState.tab === modelData.tab
                onClicked: AppState.selectTab(modelData.tab)
            }
        }
    }

    Component {
        id: inboxScreen
        InboxView { onSelect: (row) => AppState.openConversationAt(row) }
    }
    Component {
        id: chatScreen
        ChatView { onBack: AppState.closeConversation() }
    }
    Component { id: profileScreen; ProfileView {} }
    Component { id: settingsScreen; SettingsView { embedded: true } }

    // The administration panel, anchored below its button; closing it any way clears showAdmin.
    Popup {
        id: adminPopover
        parent: adminButton
        y: adminButton.height + 4
        x: adminButton.LayoutMirroring.enabled ? 0 : adminButton.width - width
        width: 320
        // 280 as designed, or taller when the texts need it (Arabic, larger fonts): never cut off.
        height: Math.max(280, implicitContentHeight + topPadding + bottomPadding)
        modal: false
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
        onClosed: AppState.showAdmin = false

        background: Rectangle {
            radius: 10
            color: LmColor.background
            border.width: 1
            border.color: LmColor.divider
        }
        contentItem: AdminPanelView { onDismiss: adminPopover.close() }
    }

    Connections {
        target: AppState
        function onShowAdminChanged() {
            if (AppState.showAdmin)
                adminPopover.open()
            else
                adminPopover.close()
        }
    }
}
