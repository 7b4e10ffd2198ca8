import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// Appearance, language, connectivity (with the peers the local mesh finds), notifications, the service address,
// and the way into the admin panel. In the shell's tab (`embedded`) or in the settings window.
Rectangle {
    id: settings

    property bool embedded: true
    property string apiBaseURL: AppState.serviceBaseURL()
    readonly property string productionHost: AppState.productionServiceBaseURL().replace(/^[a-z]+:\/\//, "").replace(/[:\/].*$/, "")
    readonly property alias meshBlock: meshBlock
    readonly property alias adminButton: adminButton
    readonly property alias flickable: flickable

    // Spaces, tabs and line breaks around the address are dropped; the field keeps what was typed.
    function saveAddress() {
        AppState.setServiceBaseURL(apiBaseURL.replace(/^[ \t\r\n]+|[ \t\r\n]+$/g, ""))
    }

    function usePreset(url) {
        apiBaseURL = url
        AppState.setServiceBaseURL(url)
    }

    color: LmColor.background

    Flickable {
        id: flickable
        anchors.fill: parent
        contentHeight: column.implicitHeight + 32
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        ColumnLayout {
            id: column
            x: 16
            y: 16
            width: settings.width - 32
            spacing: 18

            Text {
                text: qsTrId("settings.title")
                font: settings.embedded ? LmTypography.headline : LmTypography.title
                color: settings.embedded ? LmColor.foreground : LmColor.accent
                Layout.bottomMargin: settings.embedded ? 4 : 0
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignLeft
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }

            SettingsSection {
                title: qsTrId("settings.appearance")

                RowLayout {
                    spacing: 0
                    Layout.fillWidth: true
                    ButtonGroup { id: appearanceGroup }

                    Repeater {
                        model: [{ value: AppearanceManager.System, label: QT_TRID_NOOP("appearance.system") },
                                { value: AppearanceManager.Light, label: QT_TRID_NOOP("appearance.light") },
                                { value: AppearanceManager.Dark, label: QT_TRID_NOOP("appearance.dark") }]
                        delegate: Segment {
                            required property var modelData
                            title: qsTrId(modelData.label)
                            checked: AppState.appearance.appearance === modelData.value
                            ButtonGroup.group: appearanceGroup
                            onClicked: AppState.appearance.appearance = modelData.value
                        }
                    }
                }
            }

            SettingsSection {
                title: qsTrId("settings.language")

                Repeater {
                    model: [{ value: LanguageManager.System, label: QT_TRID_NOOP("language.system") },
                            { value: LanguageManager.English, label: QT_TRID_NOOP("language.english") },
                            { value: LanguageManager.Arabic, label: QT_TRID_NOOP("language.arabic") }]
                    delegate: Choice {
                        required property var modelData
                        text: qsTrId(modelData.label)
                        checked: AppState.language.language === modelData.value
                        onClicked: AppState.language.language = modelData.value
                    }
                }
            }

            SettingsSection {
                title: qsTrId("settings.connectivity")

                Repeater {
                    model: [{ value: AppearanceManager.Cloud, label: QT_TRID_NOOP("connectivity.cloud") },
                            { value: AppearanceManager.LocalMesh, label: QT_TRID_NOOP("connectivity.localMesh") }]
                    delegate: Choice {
                        required property var modelData
                        text: qsTrId(modelData.label)
                        checked: AppState.appearance.connectivity === modelData.value
                        onClicked: AppState.appearance.connectivity = modelData.value
                    }
                }

                ColumnLayout {
                    id: meshBlock
                    visible: AppState.appearance.connectivity === AppearanceManager.LocalMesh
                    spacing: 6
                    Layout.topMargin: 4
                    Layout.fillWidth: true

                    Text {
                        text: AppState.mesh.statusMessage
                        font: LmTypography.caption
                        color: LmColor.withOpacity(LmColor.foreground, 0.6)
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignLeft
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Repeater {
                        model: AppState.mesh.discoveredPeers
                        delegate: Row {
                            required property var modelData
                            spacing: 6
                            LmIcon {
                                name: "antenna.radiowaves.left.and.right"
                                color: LmColor.foreground
                                size: 12
                                anchors.verticalCenter: parent.verticalCenter
                            }
                            Text {
                                text: modelData.name
                                font: LmTypography.caption
                                color: LmColor.foreground
                                Accessible.role: Accessible.StaticText
                                Accessible.name: text
                            }
                        }
                    }
                    Text {
                        visible: AppState.mesh.discoveredPeers.length === 0
                        text: qsTrId("connectivity.noPeers")
                        font: LmTypography.caption
                        color: LmColor.withOpacity(LmColor.foreground, 0.45)
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }

            SettingsSection {
                title: qsTrId("settings.notifications")

                Toggle {
                    objectName: "notificationsToggle"
                    text: qsTrId("settings.notificationsOn")
                    checked: AppState.appearance.notifications
                    onToggled: AppState.appearance.notifications = checked
                    Layout.fillWidth: true
                }
            }

            SettingsSection {
                title: qsTrId("settings.api")

                LmTextField {
                    title: qsTrId("settings.apiBaseURL")
                    text: settings.apiBaseURL
                    onTextChanged: settings.apiBaseURL = text
                    prompt: AppState.defaultServiceBaseURL()
                }
                Text {
                    objectName: "insecureAddressNote"
                    visible: AppState.isInsecureServiceURL(settings.apiBaseURL)
                    text: qsTrId("settings.insecureAddress")
                    font: LmTypography.caption
                    color: LmColor.copper
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignLeft
                    Accessible.role: Accessible.AlertMessage
                    Accessible.name: text
                }
                RowLayout {
                    spacing: 8
                    Layout.fillWidth: true
                    LmButton {
                        title: qsTrId("settings.localPreset")
                        style: "secondary"
                        onClicked: settings.usePreset(AppState.defaultServiceBaseURL())
                    }
                    LmButton {
                        title: settings.productionHost
                        style: "secondary"
                        onClicked: settings.usePreset(AppState.productionServiceBaseURL())
                    }
                }
                LmButton {
                    title: qsTrId("settings.saveAPI")
                    style: "secondary"
                    onClicked: settings.saveAddress()
                }
                Text {
                    text: qsTrId("settings.apiNote")
                    font: LmTypography.micro
                    color: LmColor.withOpacity(LmColor.foreground, 0.45)
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignLeft
                }
            }

            LmButton {
                id: adminButton
                visible: AppState.auth.isAdmin
                title: qsTrId("admin.open")
                style: "secondary"
                onClicked: AppState.showAdmin = true
            }
        }
    }

    // One segment of the appearance picker.
    component Segment: AbstractButton {
        property string title
        checkable: true
        Layout.fillWidth: true
        Layout.preferredWidth: 1
        topPadding: 6
        bottomPadding: 6
        Accessible.role: Accessible.RadioButton
        Accessible.name: title
        Accessible.checked: checked
        contentItem: Text {
            text: parent.title
            font: LmTypography.callout
            horizontalAlignment: Text.AlignHCenter
            color: parent.checked ? "white" : LmColor.foreground
        }
        background: Rectangle {
            radius: 7
            color: parent.checked ? LmColor.accent : "transparent"
            border.width: 1
            border.color: LmColor.divider
        }
    }

    // One choice of a radio group, in the palette's colours.
    component Choice: RadioButton {
        font: LmTypography.body
        padding: 2
        palette.text: LmColor.accent
        palette.base: "transparent"
        palette.mid: LmColor.divider
        contentItem: Text {
            text: parent.text
            font: parent.font
            color: LmColor.foreground
            // The indicator sits on the leading side, which is the right in Arabic.
            leftPadding: parent.mirrored ? 0 : parent.indicator.width + parent.spacing
            rightPadding: parent.mirrored ? parent.indicator.width + parent.spacing : 0
            horizontalAlignment: Text.AlignLeft
            verticalAlignment: Text.AlignVCenter
        }
    }

    component Toggle: CheckBox {
        font: LmTypography.body
        padding: 2
        palette.text: LmColor.accent
        palette.base: "transparent"
        palette.mid: LmColor.divider
        contentItem: Text {
            text: parent.text
            font: parent.font
            color: LmColor.foreground
            wrapMode: Text.Wrap
            leftPadding: parent.mirrored ? 0 : parent.indicator.width + parent.spacing
            rightPadding: parent.mirrored ? parent.indicator.width + parent.spacing : 0
            horizontalAlignment: Text.AlignLeft
            verticalAlignment: Text.AlignVCenter
        }
    }
}
