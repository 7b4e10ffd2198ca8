import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// The administrator's panel: what is coming, and the way to the administration web page.
Rectangle {
    id: panel

    readonly property url webPage: "https://lumora.app/admin"

    signal dismiss()

    color: LmColor.background
    implicitHeight: content.implicitHeight + 32

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 16
        spacing: 14

        RowLayout {
            Layout.fillWidth: true
            LmIcon {
                name: "shield.checkered"
                color: LmColor.copper
                size: 18
            }
            Text {
                text: qsTrId("admin.title")
                font: LmTypography.title
                color: LmColor.copper
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Item { Layout.fillWidth: true }
            AbstractButton {
                Accessible.role: Accessible.Button
                Accessible.name: qsTrId("common.close")
                onClicked: panel.dismiss()
                contentItem: LmIcon {
                    name: "xmark"
                    color: LmColor.foreground
                    size: 14
                }
            }
        }
        Text {
            text: qsTrId("admin.subtitle")
            font: LmTypography.body
            color: LmColor.withOpacity(LmColor.foreground, 0.65)
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
        }
        LmDivider {}
        AdminRow { symbol: "person.3"; title: qsTrId("admin.users") }
        AdminRow { symbol: "chart.bar"; title: qsTrId("admin.metrics") }
        AdminRow { symbol: "key"; title: qsTrId("admin.forcePassword") }
        Item { Layout.fillHeight: true }
        AbstractButton {
            id: webLink
            Accessible.role: Accessible.Link
            Accessible.name: qsTrId("admin.openWeb")
            onClicked: Qt.openUrlExternally(panel.webPage) // the panel stays open
            contentItem: Row {
                spacing: 6
                LmIcon {
                    name: "safari"
                    color: LmColor.accent
                    size: 14
                    anchors.verticalCenter: parent.verticalCenter
                }
                Text {
                    text: qsTrId("admin.openWeb")
                    font: LmTypography.callout
                    color: LmColor.accent
                }
            }
        }
    }

    component AdminRow: RowLayout {
        property string symbol
        property string title
        Layout.fillWidth: true
        Layout.topMargin: 4
        Layout.bottomMargin: 4

        Item {
            implicitWidth: 22
            implicitHeight: icon.height
            LmIcon {
                id: icon
                anchors.centerIn: parent
                name: parent.parent.symbol
                color: LmColor.accent
                size: 16
            }
        }
        ColumnLayout {
            spacing: 2
            Layout.fillWidth: true
            Text {
                text: parent.parent.title
                font: LmTypography.headline
                color: LmColor.foreground
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                text: qsTrId("admin.comingSoon")
                font: LmTypography.caption
                color: LmColor.withOpacity(LmColor.foreground, 0.5)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }
    }
}
