import QtQuick
import QtTest
import Lumora
import LumoraTest
import "find.js" as Find

TestCase {
    id: testCase
    name: "Conversations"
    width: 420
    height: 600
    visible: true
    when: windowShown

    Component { id: inboxComponent; InboxView { width: 420; height: 600 } }
    Component { id: chatComponent; ChatView { width: 420; height: 600 } }
    Component { id: composerComponent; ComposerView { width: 420 } }
    Component { id: signalSpy; SignalSpy {} }
    Component {
        id: sendingBubble
        MessageBubble {
            width: 400
            messageId: "m"; body: "التقرير"; time: "10:04"; fullTime: ""; attachmentName: "report.pdf"; attachmentUrl: ""
            attachmentFileName: ""; attachmentSize: ""; attachmentProgress: -1; sendProgress: 0.43
            sendStatus: "sending"; isMine: true; showsPicture: false; thumbnail: ""; spokenText: ""
        }
    }

    function init() { Fixture.reset() }

    // Inbox

    // A conversation as the service writes it, from what a test names: id, title, unreadCount,
    // updatedMinute, peer, lastBody (absent: no last message; null: a last message without a body).
    function wire(c) {
        const updatedAt = new Date(Date.UTC(2026, 11, 6, 0, c.updatedMinute)).toISOString()
        const w = { id: c.id, title: c.title, unreadCount: c.unreadCount || 0, updatedAt: updatedAt }
        if (c.peer)
            w.peer = Object.assign({ role: "user", mustChangePassword: false }, c.peer)
        if ("lastBody" in c)
            w.lastMessage = { id: c.id + "-last", senderId: "u-2", createdAt: updatedAt, body: c.lastBody }
        return w
    }

    function loadedInbox(conversations) {
        Fixture.signIn()
        Fixture.scriptConversations(conversations.map(wire))
        const inbox = createTemporaryObject(inboxComponent, testCase)
        tryCompare(inbox.list, "count", conversations.length)
        tryVerify(() => !inbox.model.isLoading)
        return inbox
    }

    function row(inbox, i) {
        inbox.list.positionViewAtIndex(i, ListView.Contain)
        return inbox.list.itemAtIndex(i)
    }

    function test_inbox_rows_marks_selection_and_failed_refresh() {
        const inbox = loadedInbox([
            { id: "older", updatedMinute: 1, title: "Older", lastBody: "first", unreadCount: 0,
              peer: { id: "u-2", username: "salma", displayName: "Salma", countryCode: "SA", verified: true } },
            { id: "newer", updatedMinute: 9, title: "Newer", lastBody: null, unreadCount: 12 },
            { id: "blank", updatedMinute: 3, title: "Blank", lastBody: "" },
            { id: "none", updatedMinute: 2, title: "None" },
        ])
        const newest = row(inbox, 0)
        compare(newest.title, "Newer")
        compare(newest.previewText, "No messages yet", "a last message without a body")
        compare(newest.badgeText, "12")
        verify(Find.findItem(newest, (item) => item.color !== undefined && item.radius !== undefined
                                && Qt.colorEqual(item.color, LmColor.copper) && item.visible) !== null, "copper badge")

        compare(row(inbox, 1).previewText, "", "an empty body is shown as it is")
        compare(row(inbox, 2).previewText, "No messages yet", "no last message at all")

        const oldest = row(inbox, 3)
        compare(oldest.title, "Older")
        compare(oldest.previewText, "first")
        compare(oldest.badgeText, "", "no badge for 0 unread")
        verify(Find.findItem(oldest, (item) => item.countryCode === "SA" && item.visible) !== null, "the peer's flag")
        verify(Find.findItem(oldest, (item) => item.Accessible.name === "Verified" && item.visible) !== null, "the seal")
        verify(/^\d{1,2}:\d{2}/.test(oldest.timeText), "a time of day without seconds: " + oldest.timeText)

        Fixture.setInboxFails(true)
        inbox.model.startLoad()
        const error = Find.findItem(inbox, (item) => item.Accessible.role === Accessible.AlertMessage)
        tryVerify(() => error.visible)
        compare(error.text, "Server error")
        compare(inbox.list.count, 4, "a failed refresh keeps the list")
        verify(!inbox.showsSpinner)
    }

    // The keyboard alone: the list has the focus, the current row takes it and reads as one item.
    function test_inbox_keys_and_what_a_row_reads() {
        const inbox = loadedInbox([
            { id: "o", updatedMinute: 9, title: "Omar", lastBody: "Don't forget the file", unreadCount: 2,
              peer: { id: "u-2", username: "omar", displayName: "Omar", verified: true } },
            { id: "l", updatedMinute: 8, title: "Layla", lastBody: "See you" },
            { id: "y", updatedMinute: 7, title: "Youssef" },
            { id: "la", updatedMinute: 6, title: "Lamis", lastBody: "ok" },
        ])
        const list = inbox.list
        verify(list.activeFocus, "the inbox puts the keyboard in its list")
        compare(list.currentIndex, 0)
        verify(list.currentItem.activeFocus, "the current row has the focus, so readers announce it")
        compare(list.currentItem.Accessible.name, "Omar, Verified, 2 unread, " + list.currentItem.timeText
                + ", Don't forget the file")
        keyClick(Qt.Key_Down)
        keyClick(Qt.Key_Down)
        compare(list.currentIndex, 2)
        compare(list.currentItem.Accessible.name, "Youssef, " + list.currentItem.timeText + ", No messages yet")
        keyClick(Qt.Key_End)
        compare(list.currentIndex, 3)
        keyClick(Qt.Key_Home)
        compare(list.currentIndex, 0)
        keyClick(Qt.Key_L) // the next title starting with L, then the one after
        compare(list.currentIndex, 1)
        wait(900) // a pause ends the word typed so far
        keyClick(Qt.Key_L)
        compare(list.currentIndex, 3)
        wait(900)
        keyClick(Qt.Key_Y)
        keyClick(Qt.Key_O)
        compare(list.currentIndex, 2, "letters typed together find \"yo\"")
        const selected = signalSpy.createObject(testCase, { target: inbox, signalName: "select" })
        keyClick(Qt.Key_Return)
        compare(selected.count, 1)
        compare(selected.signalArguments[0][0], 2, "Return opens the current row")
    }

    function test_inbox_500_rows_stay_virtual() {
        const inbox = loadedInbox(Array.from({ length: 500 }, (_, i) =>
            ({ id: "c" + i, updatedMinute: i, title: "Conversation " + i, lastBody: "hello " + i })))
        const built = Array.prototype.filter.call(inbox.list.contentItem.children, (item) => item.title !== undefined && item.visible).length
        verify(built < 40, "only the rows in view are built (" + built + ")")
    }

    // Chat

    function messages(count) {
        return Array.from({ length: count }, (_, i) => ({ id: "m" + i, senderId: i % 2 ? "u-1" : "u-2", body: "message " + i }))
    }

    function openChat(list) {
        Fixture.signIn()
        Fixture.scriptMessages(list)
        Fixture.openConversation()
        const chat = createTemporaryObject(chatComponent, testCase)
        tryCompare(chat.messageList, "count", list.length)
        return chat
    }

    // Returns once what the views put off with Qt.callLater until now has run: later calls run after
    // earlier ones, in the same pass.
    function settle() {
        let done = false
        Qt.callLater(() => done = true)
        tryVerify(() => done, 2000, "the deferred calls ran")
    }

    function bubble(chat, i) {
        chat.messageList.positionViewAtIndex(i, ListView.Contain)
        return chat.messageList.itemAtIndex(i)
    }

    function test_bubbles_sit_on_their_sides_and_belong_to_the_signed_in_user() {
        const chat = openChat([{ id: "a", senderId: "u-2", body: "hello" }, { id: "b", senderId: "u-1", body: "mine" },
                               { id: "c", senderId: "u-2", body: "", attachmentName: "plan.pdf" }])
        const theirs = bubble(chat, 0), mine = bubble(chat, 1)
        compare(theirs.column.x, 0, "others on the leading (left) side")
        compare(mine.column.x + mine.column.width, mine.width, "own on the trailing (right) side")
        verify(Find.findItem(bubble(chat, 2), (item) => item.text === "plan.pdf" && item.visible) !== null, "the paperclip label")

        chat.LayoutMirroring.enabled = true
        chat.LayoutMirroring.childrenInherit = true
        compare(bubble(chat, 0).column.x + bubble(chat, 0).column.width, theirs.width, "mirrored: others on the right")
        compare(bubble(chat, 1).column.x, 0, "mirrored: own on the left")

        Fixture.signOut()
        verify(!bubble(chat, 1).isMine, "nobody signed in owns nothing")
        const before = Fixture.sendCount()
        chat.model.draft = "to nobody"
        chat.sendDraft()
        wait(200)
        compare(Fixture.sendCount(), before, "sending without a user does nothing")
    }

    // A received file: its name, size and actions; a pending file: removed by its ×.
    function test_attachment_rows() {
        const chat = openChat([{ id: "f", senderId: "u-2", body: "",
                                 attachments: [{ url: "/media/f1", mimeType: "application/pdf", sizeBytes: 1200000,
                                                 fileName: "plan.pdf" }] }])
        const row = Find.findItem(bubble(chat, 0), (item) => item.objectName === "attachmentRow")
        verify(row.visible)
        for (const text of ["plan.pdf", "1.2 MB", "Open", "Save as…"])
            verify(Find.findItem(row, (item) => (item.text === text || item.title === text) && item.visible) !== null, text)
        // Switched to Arabic with the chat open: the size reads in Arabic digits and units.
        AppState.language.language = LanguageManager.Arabic
        verify(Find.findItem(row, (item) => /^[٠-٩]٫[٠-٩] [^\x00-\x7f][^0-9]*$/.test(item.text || "")) !== null,
               "the size in Arabic digits")
        AppState.language.language = LanguageManager.English

        chat.model.pendingAttachmentURL = "file:///tmp/photo.png"
        chat.model.pendingAttachmentName = "photo.png"
        const remove = Find.findItem(chat, (item) => item.objectName === "removeAttachment")
        tryVerify(() => remove.visible)
        mouseClick(remove)
        compare(chat.model.pendingAttachmentName, "")
        compare(chat.model.pendingAttachmentURL, "")

        // Dropped: the first file attaches; a folder does not.
        verify(!chat.attachFiles([Qt.resolvedUrl(".")]))
        verify(chat.attachFiles([Qt.resolvedUrl("tst_conversations.qml"), Qt.resolvedUrl("find.js")]))
        compare(chat.model.pendingAttachmentName, "tst_conversations.qml")
        // Pasted: a copied image is saved as a PNG and replaces it; text pastes as text.
        Fixture.copyImage(40, 30)
        chat.composer.input.forceActiveFocus()
        keySequence(StandardKey.Paste)
        compare(chat.model.pendingAttachmentName, "pasted-image.png")
        compare(Fixture.imageSize(chat.model.pendingAttachmentURL), Qt.size(40, 30))
        compare(chat.composer.input.text, "")
    }

    // A received picture keeps its box while the thumbnail is made, opens when clicked, and a picture
    // that cannot be read is shown as a file.
    function test_pictures() {
        const file = (url) => [{ url: url, mimeType: "image/png", sizeBytes: 0, fileName: url.slice(7) }]
        const chat = openChat([{ id: "p", senderId: "u-2", body: "", attachments: file("/media/picture.png") },
                               { id: "b", senderId: "u-2", body: "", attachments: file("/media/broken.png") }])
        const box = Find.findItem(bubble(chat, 0), (item) => item.objectName === "pictureBox")
        const picture = Find.findItem(box, (item) => item.objectName === "picture")
        verify(box.visible)
        const height = bubble(chat, 0).height
        tryCompare(picture, "status", Image.Ready)
        compare(bubble(chat, 0).height, height, "the bubble keeps its height")
        compare(Qt.size(box.width, picture.paintedHeight), Qt.size(240, 120))
        compare(box.mapToItem(bubble(chat, 0), 0, 0).x, 0, "on the sender's side")

        const broken = bubble(chat, 1)
        tryVerify(() => !Find.findItem(broken, (item) => item.objectName === "pictureBox").visible)
        verify(Find.findItem(broken, (item) => item.objectName === "attachmentRow").visible)
        verify(!chat.model.errorMessage)

        const opened = createTemporaryObject(signalSpy, testCase, { target: chat.model, signalName: "fileReady" })
        mouseClick(box)
        tryCompare(opened, "count", 1)
        verify(opened.signalArguments[0][0].toString().endsWith("/picture.png"))
    }

    // An upload in Arabic: its percentage in Arabic digits, the bubble and its file on the leading (left) side.
    function test_sending_bubble_in_arabic() {
        AppState.language.language = LanguageManager.Arabic
        const bubble = createTemporaryObject(sendingBubble, testCase,
                                             { "LayoutMirroring.enabled": true, "LayoutMirroring.childrenInherit": true })
        verify(Find.findItem(bubble, (item) => item.text === "جارٍ الإرسال… ٤٣٪" && item.visible) !== null)
        const row = Find.findItem(bubble, (item) => item.objectName === "attachmentRow")
        compare(bubble.column.x, 0)
        compare(row.mapToItem(bubble, 0, 0).x, 0)
    }

    // A heading before each day's first message, as far from now as it is; in Arabic, its words and digits.
    function test_day_headings() {
        Fixture.setNow("2026-12-07T09:00:00+04:00") // a Monday morning in Dubai
        const at = (iso) => ({ id: iso, senderId: "u-2", body: "at " + iso, createdAt: iso })
        const chat = openChat([at("2026-11-20T10:00:00Z"), at("2026-12-03T10:00:00Z"), at("2026-12-06T08:00:00Z"),
                               at("2026-12-06T19:59:00Z"), at("2026-12-06T20:01:00Z")])
        const headings = () => Find.findAll(chat.messageList, (item) => item.Accessible.role === Accessible.Heading
                                                                        && item.visible).map((item) => item.text)
        compare(headings(), ["Nov 20, 2026", "Thursday", "Yesterday", "Today"], "20:01 UTC is already Monday in Dubai")
        Fixture.setNow("2026-12-08T00:00:01+04:00") // past midnight, as the app's timer tells the models
        chat.model.refreshLocaleTexts()
        compare(headings(), ["Nov 20, 2026", "Thursday", "Sunday", "Yesterday"])
        const time = Find.findItem(bubble(chat, 4), (item) => item.objectName === "time")
        compare([time.text, time.Accessible.description], ["12:01 AM", "Monday, December 7, 2026 at 12:01 AM"])

        AppState.language.language = LanguageManager.Arabic
        const arabic = headings()
        compare(arabic.slice(1), ["الخميس", "الأحد", "أمس"])
        verify(/^[٠-٩]+ [^\x00-\x7f]+ [٠-٩]+$/.test(arabic[0]), arabic[0])
    }

    function test_composer_send_button_and_keys() {
        const composer = createTemporaryObject(composerComponent, testCase)
        verify(!composer.sendButton.enabled, "empty")
        composer.text = "  \n\t "
        verify(!composer.sendButton.enabled, "spaces and line breaks only")
        composer.attachmentName = "photo.png"
        verify(composer.sendButton.enabled, "spaces with a pending file")
        composer.attachmentName = ""
        composer.text = " hi "
        verify(composer.sendButton.enabled)
        composer.isSending = true
        verify(!composer.sendButton.enabled, "while sending")

        composer.isSending = false
        composer.text = ""
        const sends = signalSpy.createObject(testCase, { target: composer, signalName: "send" })
        const edits = signalSpy.createObject(testCase, { target: composer, signalName: "edited" })
        composer.input.forceActiveFocus()
        keyClick(Qt.Key_Return)
        compare(sends.count, 1, "Return in an empty composer still sends")
        keyClick(Qt.Key_Return, Qt.ShiftModifier)
        compare(sends.count, 1)
        compare(edits.count, 1, "Shift+Return edits the text")
        compare(edits.signalArguments[0][0], "\n")
    }

    function test_scrolling_and_the_emoji_strip() {
        const chat = openChat(messages(40))
        const list = chat.messageList
        // The first load also scrolls once its rows are laid out; the reader scrolls up after that.
        settle()
        tryVerify(() => list.atYEnd, 2000, "a first load shows the newest message")
        list.positionViewAtBeginning()
        const top = list.contentY
        chat.model.startLoad()
        verify(chat.model.isLoading)
        tryCompare(chat.model, "isLoading", false)
        settle()
        compare(list.contentY, top, "the same messages again leave the list where it was")
        Fixture.scriptMessages(messages(41))
        chat.model.startLoad()
        tryCompare(list, "count", 41)
        tryVerify(() => list.atYEnd, 2000, "a new message scrolls to it")
        verify(!chat.emojiStrip.visible)
        chat.composer.emoji()
        verify(chat.emojiStrip.visible)
        tryVerify(() => list.height < 500 && list.atYEnd, 2000, "a reader at the end stays there when the strip opens")

        waitForRendering(chat) // the strip is laid out before it can be clicked
        const buttons = Array.prototype.filter.call(chat.emojiStrip.contentItem.children[0].children, (b) => b.modelData !== undefined)
        chat.model.draft = "Hi "
        mouseClick(buttons[4])
        mouseClick(buttons[0])
        compare(chat.model.draft, "Hi " + buttons[4].modelData + buttons[0].modelData)
        compare(chat.composer.input.text, chat.model.draft)
        verify(chat.emojiStrip.visible, "the strip stays open")
        const divider = Find.findItem(chat, (i) => i.objectName === "emojiDivider")
        verify(divider.visible)
        verify(divider.y >= chat.emojiStrip.y + chat.emojiStrip.height && divider.y + divider.height <= chat.composer.y,
               "the divider lies between the strip and the composer")
        chat.composer.emoji()
        verify(!chat.emojiStrip.visible)
        verify(!divider.visible)
    }

    // A chat opens to write in; Page Up and Down scroll the messages from the composer; Escape closes
    // the emoji strip, then goes back. A bubble reads as one item, its hidden controls left out.
    function test_chat_keys_and_what_a_bubble_reads() {
        const chat = openChat(messages(40))
        const list = chat.messageList
        verify(chat.composer.input.activeFocus)
        settle()
        tryVerify(() => list.atYEnd, 2000)
        const bottom = list.contentY
        keyClick(Qt.Key_PageUp)
        verify(list.contentY < bottom - list.height / 2, "Page Up scrolled the messages")
        compare(chat.composer.input.text, "", "and left the draft alone")
        keyClick(Qt.Key_PageDown)
        compare(list.contentY, bottom)

        const bubble = list.itemAtIndex(list.count - 1)
        compare(bubble.Accessible.role, Accessible.ListItem)
        compare(bubble.Accessible.name, "You, message 39, " + bubble.time)
        const retry = Find.findItem(bubble, (item) => item.title === "Retry")
        verify(!retry.visible && retry.Accessible.ignored, "a delivered bubble's Retry is not in the tree")

        keyClick(Qt.Key_Up, Qt.AltModifier)
        verify(bubble.activeFocus, "Alt+Up reads the newest bubble")
        keyClick(Qt.Key_Up, Qt.AltModifier)
        verify(list.itemAtIndex(list.count - 2).activeFocus)
        keyClick(Qt.Key_Down, Qt.AltModifier)
        keyClick(Qt.Key_Down, Qt.AltModifier)
        verify(chat.composer.input.activeFocus, "past the newest, back to writing")

        const backs = signalSpy.createObject(testCase, { target: chat, signalName: "back" })
        chat.composer.emoji()
        keyClick(Qt.Key_Escape)
        verify(!chat.showEmoji, "Escape closes the strip first")
        compare(backs.count, 0)
        keyClick(Qt.Key_Escape)
        compare(backs.count, 1, "then goes back")
    }

    function test_polls_only_while_shown_and_leaving_loses_nothing_written() {
        let chat = openChat(messages(2))
        const model = chat.model
        tryVerify(() => model.isPolling, 2000, "polling after the first load")
        // A poll bringing someone else's message shows it as an alert for screen readers; one's own does not.
        const arrival = Find.findItem(chat, (item) => item.objectName === "arrival")
        verify(!arrival.visible)
        Fixture.scriptMessages(messages(3)) // m2, from u-2
        tryCompare(chat.messageList, "count", 3)
        tryVerify(() => arrival.visible)
        compare(arrival.Accessible.role, Accessible.AlertMessage)
        compare(arrival.text, bubble(chat, 2).Accessible.name)
        Fixture.scriptMessages(messages(4)) // m3, the user's own
        tryCompare(chat.messageList, "count", 4)
        compare(arrival.text, bubble(chat, 2).Accessible.name, "one's own message is not announced")
        Fixture.scriptMessages(messages(2))
        tryCompare(chat.messageList, "count", 2)
        chat.visible = false
        verify(!model.isPolling, "hidden: no polling")
        chat.visible = true
        compare(chat.model, model, "the same model comes back")
        tryVerify(() => model.isPolling, 2000, "shown again: load, then poll")

        Fixture.setSendsFail(true)
        chat.model.draft = "lost?"
        chat.sendDraft()
        tryVerify(() => chat.messageList.count === 3 && bubble(chat, 2).sendStatus === "failed")
        chat.model.draft = "half a thought"
        chat.destroy() // back to the inbox
        wait(50)
        chat = createTemporaryObject(chatComponent, testCase)
        compare(chat.model, model, "the conversation's model with its unsent message")
        tryCompare(chat.messageList, "count", 3)
        compare(bubble(chat, 2).body, "lost?")
        compare(bubble(chat, 2).sendStatus, "failed")
        compare(chat.composer.input.text, "half a thought")
        // Read from the keyboard: the bubble says it was not sent, and Tab reaches its Retry.
        keyClick(Qt.Key_Up, Qt.AltModifier)
        verify(bubble(chat, 2).activeFocus)
        compare(bubble(chat, 2).Accessible.name, "You, lost?, " + bubble(chat, 2).time + ", Not sent")
        keyClick(Qt.Key_Tab)
        const focused = Find.findItem(bubble(chat, 2), (item) => item.activeFocus && item.title !== undefined)
        compare(focused ? focused.title : null, "Retry")

        // Another file can replace the file of a message not sent, and only of one with a file.
        const anotherFile = (i) => Find.findItem(bubble(chat, i), (item) => item.objectName === "anotherFile")
        verify(!anotherFile(2).visible)
        chat.model.attachFile(Qt.resolvedUrl("find.js"))
        chat.sendDraft()
        tryVerify(() => chat.messageList.count === 4 && bubble(chat, 3).sendStatus === "failed")
        verify(anotherFile(3).visible)
    }
}
