import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// One message: own ones on the trailing side in the brand colour, others on the leading side.
// The text keeps its own direction inside the bubble, whatever the interface's.
Item {
    id: bubble

    required property string messageId
    required property string body
    required property var createdAt
    required property string attachmentName
    required property string sendStatus
    required property bool isMine

    readonly property real maxBubbleWidth: width - 40
    readonly property alias column: column

    signal retry()
    signal discard()

    implicitHeight: column.implicitHeight

    ColumnLayout {
        id: column
        anchors.left: bubble.isMine ? undefined : parent.left
        anchors.right: bubble.isMine ? parent.right : undefined
        width: Math.min(implicitWidth, bubble.maxBubbleWidth)
        spacing: 4

        Rectangle {
            Layout.alignment: bubble.isMine ? Qt.AlignRight : Qt.AlignLeft
            implicitWidth: Math.min(label.implicitWidth, bubble.maxBubbleWidth - 20) + 20
            implicitHeight: label.height + 16
            radius: 12
            color: bubble.isMine ? LmColor.accent
                                 : LmColor.dark ? Qt.rgba(1, 1, 1, 0.08) : Qt.rgba(0, 0, 0, 0.05)

            Text {
                id: label
                x: 10
                y: 8
                width: Math.min(implicitWidth, bubble.maxBubbleWidth - 20)
                text: bubble.body
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font: LmTypography.body
                color: bubble.isMine ? "white" : LmColor.foreground
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        Row {
            visible: bubble.attachmentName !== ""
            spacing: 4
            opacity: 0.5
            Layout.alignment: bubble.isMine ? Qt.AlignRight : Qt.AlignLeft

            LmIcon {
                name: "paperclip"
                color: LmColor.foreground
                size: 11
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                text: bubble.attachmentName
                font: LmTypography.micro
                color: LmColor.foreground
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        RowLayout {
            spacing: 6
            Layout.alignment: bubble.isMine ? Qt.AlignRight : Qt.AlignLeft

            Text {
                text: LmMarks.timeOfDay(bubble.createdAt)
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.4)
            }
            Text {
                visible: bubble.sendStatus === "sending"
                text: qsTrId("chat.sending")
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.4)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            // A failed send stays in the list until the user retries or discards it.
            LmIcon {
                visible: bubble.sendStatus === "failed"
                name: "exclamationmark.circle"
                color: LmColor.copper
                size: 12
            }
            Text {
                visible: bubble.sendStatus === "failed"
                text: qsTrId("chat.notSent")
                font: LmTypography.micro
                color: LmColor.copper
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
            LinkButton {
                visible: bubble.sendStatus === "failed"
                title: qsTrId("chat.retry")
                onClicked: bubble.retry()
            }
            LinkButton {
                visible: bubble.sendStatus === "failed"
                title: qsTrId("chat.discard")
                onClicked: bubble.discard()
            }
        }
    }

    component LinkButton: AbstractButton {
        property string title
        Accessible.role: Accessible.Button
        Accessible.name: title
        contentItem: Text {
            text: parent.title
            font: LmTypography.micro
            color: LmColor.accent
        }
    }
}
