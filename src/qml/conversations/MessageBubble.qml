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
    required property string time // the time of day, as shown
    required property string fullTime // the whole date and time
    required property string attachmentName
    required property string attachmentUrl  // empty until the service has the file
    required property string attachmentFileName
    required property string attachmentSize
    required property real attachmentProgress // 0 to 1 while a large file is on its way to disk, else -1
    required property real sendProgress // 0 to 1 while this unsent message's file is uploaded, else -1
    required property string sendStatus
    required property bool isMine
    required property bool showsPicture // a received image, drawn in the bubble
    required property string thumbnail // its thumbnail's file, once made
    required property string spokenText // sender, text, file, time and state, as a reader hears it
    property size thumbnailBox: Qt.size(240, 180)

    readonly property real maxBubbleWidth: width - 40
    readonly property alias column: column

    // 0.43 as "43" in the interface language's digits.
    function percent(fraction) {
        return Number(Math.round(fraction * 100)).toLocaleString(Qt.locale(), "f", 0)
    }

    signal retry()
    signal discard()
    signal openAttachment()
    signal saveAttachment()
    signal cancelAttachment()
    signal cancelSend()
    signal thumbnailWanted()
    signal chooseAnotherFile()

    implicitHeight: column.implicitHeight
    // One item for screen readers; its controls (Open, Retry, …) are its children, the hidden ones left out.
    Accessible.role: Accessible.ListItem
    Accessible.name: spokenText
    Accessible.description: fullTime

    // The controls shown now, in reading order: Tab and Shift+Tab go round them from the bubble.
    function controls() {
        const found = []
        const walk = (item) => {
            for (let i = 0; i < item.children.length; ++i) {
                const child = item.children[i]
                if (!child.visible)
                    continue
                if (child.bubbleControl === true && child.enabled)
                    found.push(child)
                walk(child)
            }
        }
        walk(column)
        return found
    }
    function focusControl(from, step) {
        const list = controls()
        const i = from === bubble ? (step > 0 ? 0 : list.length - 1) : list.indexOf(from) + step
        if (i >= 0 && i < list.length)
            list[i].forceActiveFocus(step > 0 ? Qt.TabFocusReason : Qt.BacktabFocusReason)
        else
            bubble.forceActiveFocus()
    }
    Keys.onTabPressed: focusControl(bubble, 1)
    Keys.onBacktabPressed: focusControl(bubble, -1)

    // Alt+Up/Down put the focus here (see ChatView); a ring shows which bubble is being read.
    LmFocusRing {
        parent: column
        anchors.margins: -4
        radius: 14
        shown: bubble.activeFocus
    }

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

        // A picture keeps its box while the thumbnail is made, so the list does not move under the reader.
        Item {
            objectName: "pictureBox"
            visible: bubble.showsPicture && bubble.attachmentUrl !== ""
            Layout.alignment: bubble.isMine ? Qt.AlignRight : Qt.AlignLeft
            // As wide as the picture once drawn; as high as the box always.
            readonly property real boxWidth: Math.min(bubble.thumbnailBox.width, bubble.maxBubbleWidth)
            implicitWidth: picture.status === Image.Ready ? Math.ceil(picture.paintedWidth) : boxWidth
            implicitHeight: bubble.thumbnailBox.height
            onVisibleChanged: if (visible && bubble.thumbnail === "") bubble.thumbnailWanted()
            Component.onCompleted: if (visible && bubble.thumbnail === "") bubble.thumbnailWanted()

            Rectangle {
                anchors.fill: parent
                visible: picture.status !== Image.Ready
                radius: 12
                color: LmColor.dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(0, 0, 0, 0.04)
            }
            Image {
                id: picture
                objectName: "picture"
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.boxWidth
                height: parent.height
                source: bubble.thumbnail
                asynchronous: true
                fillMode: Image.PreserveAspectFit
            }
            TapHandler { onTapped: bubble.openAttachment() }
            Accessible.ignored: !visible
            Accessible.role: Accessible.Button
            Accessible.name: qsTrId("attachment.openPicture")
            Accessible.onPressAction: bubble.openAttachment()
        }

        // The file: its name and size, and what can be done with it once the service has it.
        RowLayout {
            objectName: "attachmentRow"
            visible: bubble.attachmentName !== "" || bubble.attachmentUrl !== ""
            spacing: 6
            Layout.alignment: bubble.isMine ? Qt.AlignRight : Qt.AlignLeft
            readonly property bool busy: bubble.attachmentProgress >= 0

            LmIcon {
                name: "paperclip"
                color: LmColor.withOpacity(LmColor.foreground, 0.5)
                size: 11
            }
            Text {
                text: bubble.attachmentName !== "" ? bubble.attachmentName : bubble.attachmentFileName
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.5)
                elide: Text.ElideMiddle
                Layout.maximumWidth: bubble.maxBubbleWidth / 2
                Accessible.ignored: !visible
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                visible: bubble.attachmentSize !== ""
                Accessible.ignored: !visible
                text: bubble.attachmentSize
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.4)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            LinkButton {
                visible: bubble.attachmentUrl !== "" && !parent.busy
                Accessible.ignored: !visible
                title: qsTrId("attachment.open")
                onClicked: bubble.openAttachment()
            }
            LinkButton {
                visible: bubble.attachmentUrl !== "" && !parent.busy
                Accessible.ignored: !visible
                title: qsTrId("attachment.saveAs")
                onClicked: bubble.saveAttachment()
            }
            ProgressBar {
                visible: parent.busy
                Accessible.ignored: !visible
                value: Math.max(0, bubble.attachmentProgress)
                implicitWidth: 64
                Accessible.name: qsTrId("attachment.progressPercent").arg(bubble.percent(value))
            }
            LinkButton {
                visible: parent.busy
                Accessible.ignored: !visible
                title: qsTrId("attachment.cancel")
                onClicked: bubble.cancelAttachment()
            }
        }

        RowLayout {
            spacing: 6
            Layout.alignment: bubble.isMine ? Qt.AlignRight : Qt.AlignLeft

            Text {
                objectName: "time"
                text: bubble.time
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.4)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
                Accessible.description: bubble.fullTime
                ToolTip.text: bubble.fullTime
                ToolTip.visible: timeHover.hovered
                ToolTip.delay: 600
                HoverHandler { id: timeHover }
            }
            Text {
                visible: bubble.sendStatus === "sending"
                Accessible.ignored: !visible
                text: bubble.sendProgress >= 0 ? qsTrId("chat.sendingPercent").arg(bubble.percent(bubble.sendProgress))
                                               : qsTrId("chat.sending")
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.4)
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            LinkButton {
                visible: bubble.sendStatus === "sending" && bubble.sendProgress >= 0
                Accessible.ignored: !visible
                title: qsTrId("attachment.cancel")
                onClicked: bubble.cancelSend()
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
                Accessible.ignored: !visible
                text: qsTrId("chat.notSent")
                font: LmTypography.micro
                color: LmColor.copper
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }
            LinkButton {
                visible: bubble.sendStatus === "failed"
                Accessible.ignored: !visible
                title: qsTrId("chat.retry")
                onClicked: bubble.retry()
            }
            LinkButton {
                visible: bubble.sendStatus === "failed"
                Accessible.ignored: !visible
                title: qsTrId("chat.discard")
                onClicked: bubble.discard()
            }
            // A file the service refused (too large, say) can be swapped before retrying.
            LinkButton {
                objectName: "anotherFile"
                visible: bubble.sendStatus === "failed" && bubble.attachmentName !== ""
                Accessible.ignored: !visible
                title: qsTrId("chat.anotherFile")
                onClicked: bubble.chooseAnotherFile()
            }
        }
    }

    component LinkButton: AbstractButton {
        id: link
        property string title
        readonly property bool bubbleControl: true
        Keys.onTabPressed: bubble.focusControl(link, 1)
        Keys.onBacktabPressed: bubble.focusControl(link, -1)
        Accessible.role: Accessible.Button
        Accessible.name: title
        contentItem: Text {
            text: parent.title
            font: LmTypography.micro
            color: LmColor.accent
        }
        LmFocusRing { shown: parent.visualFocus; radius: 4 }
    }
}
