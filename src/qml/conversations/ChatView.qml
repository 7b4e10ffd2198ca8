import QtCore
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// One conversation: header, the messages (a virtualised list), the emoji strip, the composer.
// Polls while shown: it starts when the screen appears and stops when it or its window is hidden.
ColumnLayout {
    id: chat

    property ChatViewModel model: null
    property bool showEmoji: false
    readonly property var emojiPalette: ["\u{1F600}", "\u{1F602}", "\u{1F642}", "\u2764\uFE0F", "\u{1F44D}",
                                         "\u{1F64F}", "\u{1F525}", "\u2728", "\u{1F389}", "\u{1F4CE}"]
    readonly property bool shown: visible && Window.window !== null && Window.window.visible
    readonly property alias messageList: messageList
    readonly property alias composer: composer
    readonly property alias emojiStrip: emojiStrip

    signal back()

    function sendDraft() {
        if (model)
            model.startSend()
    }

    // One file per message: a dropped or pasted one replaces the pending one, as choosing does.
    function attachFiles(urls) {
        return model !== null && urls.length > 0 && model.attachFile(urls[0])
    }

    function appendEmoji(emoji) {
        if (!model)
            return
        model.draft = model.draft + emoji
        composer.input.cursorPosition = composer.input.length
    }

    spacing: 0

    Component.onCompleted: {
        if (!model)
            model = AppState.chatModel()
        if (model && shown)
            model.appear()
        composer.input.forceActiveFocus() // a chat opens to write in
    }

    // Escape closes the emoji strip first, then goes back to the inbox.
    Keys.onEscapePressed: {
        if (showEmoji)
            showEmoji = false
        else
            back()
    }

    // Page Up and Page Down scroll the messages, wherever the focus is in the chat.
    function page(direction) {
        const top = messageList.originY
        const bottom = Math.max(top, messageList.originY + messageList.contentHeight - messageList.height)
        messageList.contentY = Math.min(bottom, Math.max(top, messageList.contentY + direction * messageList.height * 0.9))
    }
    // Alt+Up and Alt+Down read through the bubbles: each takes the focus, so a screen reader reads
    // it, and Tab reaches its controls (Retry, Discard, Open…); past the newest, back to the composer.
    property int readingIndex: -1
    function readBubble(step) {
        const count = messageList.count
        if (count === 0)
            return
        const next = readingIndex < 0 ? (step < 0 ? count - 1 : -1) : readingIndex + step
        readingIndex = next >= count ? -1 : Math.max(0, next)
        if (readingIndex < 0) {
            composer.input.forceActiveFocus()
            return
        }
        messageList.positionViewAtIndex(readingIndex, ListView.Contain)
        messageList.itemAtIndex(readingIndex).forceActiveFocus()
    }
    Connections {
        target: composer.input
        function onActiveFocusChanged() { if (composer.input.activeFocus) chat.readingIndex = -1 }
    }
    Keys.onPressed: (event) => {
        if (event.key === Qt.Key_PageUp || event.key === Qt.Key_PageDown) {
            page(event.key === Qt.Key_PageUp ? -1 : 1)
            event.accepted = true
        } else if ((event.modifiers & Qt.AltModifier) && (event.key === Qt.Key_Up || event.key === Qt.Key_Down)) {
            readBubble(event.key === Qt.Key_Up ? -1 : 1)
            event.accepted = true
        }
    }
    onShownChanged: {
        if (!model)
            return
        if (shown)
            model.appear()
        else
            model.disappear()
    }

    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 12
        Layout.rightMargin: 12
        Layout.topMargin: 8
        Layout.bottomMargin: 8
        spacing: 10

        AbstractButton {
            Accessible.role: Accessible.Button
            Accessible.name: qsTrId("chat.back")
            onClicked: chat.back()
            contentItem: LmIcon {
                name: "chevron.backward"
                mirrorInRightToLeft: true
                color: LmColor.foreground
                size: 18
            }
            LmFocusRing { shown: parent.visualFocus }
        }
        LmAvatar {
            name: chat.model ? chat.model.title : ""
            size: 28
            countryCode: chat.model ? chat.model.peerCountryCode : ""
            isVerified: chat.model ? chat.model.peerVerified : false
        }
        Text {
            text: chat.model ? chat.model.title : ""
            font: LmTypography.headline
            color: LmColor.foreground
            elide: Text.ElideRight
            horizontalAlignment: Text.AlignLeft
            Layout.fillWidth: true
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
    }

    LmDivider {}

    ListView {
        id: messageList
        Layout.fillWidth: true
        Layout.fillHeight: true
        clip: true
        spacing: 8
        // Spacers rather than margins, so positionViewAtEnd shows the last bubble's whole padding.
        header: Item { height: 12 }
        footer: Item { height: 12 }
        model: chat.model
        boundsBehavior: Flickable.StopAtBounds
        keyNavigationEnabled: false // Alt+Up/Down read through the bubbles (the chat's keys)
        Accessible.role: Accessible.List
        // A heading before the first message of each day.
        section.property: "day"
        section.criteria: ViewSection.FullString
        section.delegate: Item {
            required property string section
            width: ListView.view.width
            implicitHeight: dayLabel.implicitHeight + 12
            Text {
                id: dayLabel
                anchors.centerIn: parent
                text: chat.model ? chat.model.dayHeading(parent.section, chat.model.textsRevision) : ""
                font: LmTypography.micro
                color: LmColor.withOpacity(LmColor.foreground, 0.5)
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
        }
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

        delegate: MessageBubble {
            x: 12
            width: ListView.view.width - 24
            onRetry: chat.model.startRetry(messageId)
            onDiscard: chat.model.discard(messageId)
            onOpenAttachment: chat.model.startOpenAttachment(messageId)
            onSaveAttachment: {
                saver.messageId = messageId
                saver.currentFile = StandardPaths.writableLocation(StandardPaths.DownloadLocation) + "/"
                        + encodeURIComponent(attachmentFileName)
                saver.open()
            }
            onCancelAttachment: chat.model.cancelAttachment(messageId)
            onCancelSend: chat.model.cancelSend(messageId)
            onChooseAnotherFile: { picker.forMessage = messageId; picker.open() }
            thumbnailBox: chat.model.thumbnailBox
            onThumbnailWanted: chat.model.requestThumbnail(messageId, Screen.devicePixelRatio)
        }

        // Keep the newest message in view whenever the number of messages changes (a poll that
        // brings nothing new leaves the list where the reader put it). A short way is animated; a
        // long one (the first load) jumps, so the list never builds every bubble on the way.
        // The first load jumps at once, so its first frame already shows the end rather than the
        // oldest messages; later changes are followed once the new rows are laid out.
        property int previousCount: 0
        property real previousHeight: 0

        // When the list gets shorter (the emoji strip or a file row opens) a reader at the end stays there.
        onHeightChanged: {
            const wasAtEnd = contentY + previousHeight >= originY + contentHeight - 2
            previousHeight = height
            if (wasAtEnd && count > 0)
                positionViewAtEnd()
        }
        onCountChanged: {
            if (count > 0 && previousCount === 0)
                positionViewAtEnd()
            if (count > 0)
                Qt.callLater(scrollToEnd)
            previousCount = count
        }

        function scrollToEnd() {
            const from = contentY
            positionViewAtEnd()
            const to = contentY
            if (Math.abs(to - from) < height * 2 && to !== from) {
                scrollAnimation.from = from
                scrollAnimation.to = to
                scrollAnimation.restart()
            }
        }

        NumberAnimation {
            id: scrollAnimation
            target: messageList
            property: "contentY"
            duration: 250
            easing.type: Easing.InOutQuad
        }
    }

    Flickable {
        id: emojiStrip
        visible: chat.showEmoji
        Layout.fillWidth: true
        Layout.preferredHeight: emojiRow.implicitHeight
        contentWidth: emojiRow.implicitWidth
        flickableDirection: Flickable.HorizontalFlick
        clip: true

        Row {
            id: emojiRow
            spacing: 6
            leftPadding: 12
            rightPadding: 12
            topPadding: 6
            bottomPadding: 6

            Repeater {
                model: chat.emojiPalette
                delegate: AbstractButton {
                    required property string modelData
                    Accessible.role: Accessible.Button
                    Accessible.name: modelData
                    onClicked: chat.appendEmoji(modelData)
                    contentItem: Text {
                        text: modelData
                        font: LmTypography.font(20)
                    }
                    LmFocusRing { shown: parent.visualFocus }
                }
            }
        }
    }

    // Between the strip and the composer, as the strip belongs to the writing area.
    LmDivider {
        objectName: "emojiDivider"
        visible: chat.showEmoji
    }

    ComposerView {
        id: composer
        Layout.fillWidth: true
        text: chat.model ? chat.model.draft : ""
        onEdited: (text) => { if (chat.model) chat.model.draft = text }
        attachmentName: chat.model ? chat.model.pendingAttachmentName : ""
        isSending: chat.model ? chat.model.isSending : false
        onEmoji: chat.showEmoji = !chat.showEmoji
        onAttach: { picker.forMessage = ""; picker.open() }
        onPasteFile: (file) => chat.attachFiles([file])
        onRemoveAttachment: {
            if (!chat.model)
                return
            chat.model.pendingAttachmentURL = ""
            chat.model.pendingAttachmentName = ""
        }
        onSend: chat.sendDraft()
        onPage: (direction) => chat.page(direction)
        onRead: (direction) => chat.readBubble(direction)
    }

    // Where a received file goes: Downloads unless the user picks another place.
    FileDialog {
        id: saver
        property string messageId
        fileMode: FileDialog.SaveFile
        // Qt's own dialog otherwise labels its button "Open" in this mode too.
        acceptLabel: qsTrId("attachment.save")
        currentFolder: StandardPaths.writableLocation(StandardPaths.DownloadLocation)
        onAccepted: if (chat.model) chat.model.startSaveAttachment(messageId, selectedFile)
    }

    // A file dragged onto the messages attaches it.
    DropArea {
        parent: messageList
        anchors.fill: parent
        onDropped: (drop) => {
            if (drop.hasUrls && chat.attachFiles(drop.urls))
                drop.accept(Qt.CopyAction)
        }
    }

    // A message from someone else arriving while the chat is open is announced: Qt 6.4 has no live
    // regions nor announcements, so an alert (unseen on screen) appears with what a reader hears of it.
    Text {
        id: arrival
        objectName: "arrival"
        parent: messageList
        width: 1
        height: 1
        clip: true
        color: "transparent"
        visible: text !== ""
        Accessible.role: Accessible.AlertMessage
        Accessible.name: text
        Accessible.ignored: !visible
        Timer { id: arrivalShown; interval: 5000; onTriggered: arrival.text = "" }
    }
    Connections {
        target: chat.model
        function onOthersWrote(spokenText) {
            arrival.text = "" // hidden and shown again, so each one is announced
            arrival.text = spokenText
            arrivalShown.restart()
        }
    }

    // A file fetched to open goes to the desktop's handler for its type.
    Connections {
        target: chat.model
        function onFileReady(localFile) { Qt.openUrlExternally(localFile) }
    }

    // One file of any kind; cancelling changes nothing.
    FileDialog {
        id: picker
        property string forMessage // a message not sent that takes another file; empty: the composer's
        fileMode: FileDialog.OpenFile
        currentFolder: StandardPaths.standardLocations(StandardPaths.HomeLocation)[0]
        onAccepted: {
            if (!chat.model)
                return
            if (forMessage !== "") {
                chat.model.replaceUnsentFile(forMessage, selectedFile)
                return
            }
            const path = selectedFile.toString()
            chat.model.pendingAttachmentURL = selectedFile
            chat.model.pendingAttachmentName = decodeURIComponent(path.substring(path.lastIndexOf("/") + 1))
        }
    }
}
