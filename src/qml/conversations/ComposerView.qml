import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// The message being written: emoji and attach buttons, a field growing to four lines, send.
// Return sends (whether or not the send button is enabled); Shift+Return starts a new line.
Rectangle {
    id: composer

    property string text
    property string attachmentName
    property bool isSending: false
    readonly property bool canSend: !isSending && (text.trim() !== "" || attachmentName !== "")
    readonly property alias input: input
    readonly property alias sendButton: sendButton

    // The user changed the text; the owner stores it (`text` stays a plain binding to the owner's draft).
    signal edited(string text)
    signal emoji()
    signal attach()
    signal removeAttachment()
    signal pasteFile(url file)
    signal send()
    signal page(int direction) // Page Up (-1) or Page Down (1): the messages scroll, not the field
    signal read(int direction) // Alt+Up (-1) or Alt+Down (1): reading moves to the bubbles

    color: LmColor.background
    implicitHeight: column.implicitHeight

    ColumnLayout {
        id: column
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 6

        RowLayout {
            visible: composer.attachmentName !== ""
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.topMargin: 6
            opacity: 0.65

            LmIcon {
                name: "doc"
                color: LmColor.foreground
                size: 13
            }
            Text {
                text: composer.attachmentName
                font: LmTypography.caption
                color: LmColor.foreground
                elide: Text.ElideMiddle
                Layout.fillWidth: true
                horizontalAlignment: Text.AlignLeft
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            IconButton {
                objectName: "removeAttachment"
                symbol: "xmark"
                help: qsTrId("chat.removeAttachment")
                implicitWidth: 16
                implicitHeight: 16
                onClicked: composer.removeAttachment()
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.topMargin: 10
            Layout.bottomMargin: 10
            spacing: 8

            IconButton {
                symbol: "face.smiling"
                help: qsTrId("chat.emoji")
                onClicked: composer.emoji()
            }
            IconButton {
                symbol: "paperclip"
                help: qsTrId("chat.attach")
                onClicked: composer.attach()
            }

            ScrollView {
                id: scroller
                Layout.fillWidth: true
                // One line at first, growing to four, then scrolling; counted in lines of the body font,
                // so an Arabic placeholder (whose font declares a taller line) does not grow it.
                Layout.preferredHeight: Math.ceil(LmTypography.lineSpacing(LmTypography.body) * Math.min(Math.max(input.lineCount, 1), 4))
                                        + input.topPadding + input.bottomPadding
                background: Rectangle {
                    radius: 8
                    color: LmColor.dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(0, 0, 0, 0.04)
                }

                TextArea {
                    id: input
                    text: composer.text
                    onTextChanged: if (text !== composer.text) composer.edited(text)
                    // A copied file or image becomes the message's file; text pastes as text.
                    Keys.onPressed: (event) => {
                        if (event.key === Qt.Key_PageUp || event.key === Qt.Key_PageDown) {
                            composer.page(event.key === Qt.Key_PageUp ? -1 : 1)
                            event.accepted = true
                            return
                        }
                        // The field would move its cursor; the chat reads its bubbles instead.
                        if ((event.modifiers & Qt.AltModifier) && (event.key === Qt.Key_Up || event.key === Qt.Key_Down)) {
                            composer.read(event.key === Qt.Key_Up ? -1 : 1)
                            event.accepted = true
                            return
                        }
                        // Tab leaves the field (a message has no use for tab characters).
                        if (event.key === Qt.Key_Tab || event.key === Qt.Key_Backtab) {
                            input.nextItemInFocusChain(event.key === Qt.Key_Tab).forceActiveFocus(Qt.TabFocusReason)
                            event.accepted = true
                            return
                        }
                        if (!event.matches(StandardKey.Paste))
                            return
                        const file = Clipboard.fileToAttach()
                        if (file.toString() === "")
                            return
                        composer.pasteFile(file)
                        event.accepted = true
                    }
                    placeholderText: qsTrId("chat.placeholder")
                    placeholderTextColor: LmColor.withOpacity(LmColor.foreground, 0.4)
                    color: LmColor.foreground
                    selectionColor: LmColor.withOpacity(LmColor.accent, 0.35)
                    font: LmTypography.body
                    wrapMode: TextEdit.Wrap
                    leftPadding: 10
                    rightPadding: 10
                    topPadding: 7
                    bottomPadding: 7
                    background: null
                    Accessible.name: qsTrId("chat.placeholder")

                    Keys.onReturnPressed: (event) => composer.onReturn(event)
                    Keys.onEnterPressed: (event) => composer.onReturn(event)
                }
            }

            AbstractButton {
                id: sendButton
                enabled: composer.canSend
                opacity: enabled ? 1.0 : 0.4
                Accessible.role: Accessible.Button
                Accessible.name: qsTrId("chat.send")
                // Qt 6.4 reports a disabled button to AT-SPI as enabled: the description says it instead.
                Accessible.description: enabled ? "" : qsTrId("a11y.unavailable")
                onClicked: composer.send()
                contentItem: LmIcon {
                    name: "arrow.up.circle.fill"
                    color: LmColor.accent
                    size: 24
                }
                LmFocusRing { shown: sendButton.visualFocus }
            }
        }
    }

    function onReturn(event) {
        if (event.modifiers & Qt.ShiftModifier) {
            event.accepted = false // the field inserts the line break
            return
        }
        event.accepted = true
        composer.send()
    }

    component IconButton: AbstractButton {
        property string symbol
        property string help
        Accessible.role: Accessible.Button
        Accessible.name: help
        ToolTip.visible: hovered
        ToolTip.text: help
        ToolTip.delay: 600
        contentItem: LmIcon {
            name: parent.symbol
            color: LmColor.foreground
            size: 18
        }
        LmFocusRing { shown: parent.visualFocus }
    }
}
