import QtQuick
import QtTest
import Lumora
import LumoraTest
import "find.js" as Find

TestCase {
    id: testCase
    name: "Chat"
    width: 420
    height: 600
    visible: true
    when: windowShown

    Component { id: chatComponent; ChatView { width: 420; height: 600 } }
    Component { id: composerComponent; ComposerView { width: 420 } }
    Component { id: signalSpy; SignalSpy {} }

    function init() { Fixture.reset() }

    function messages(count) {
        const list = []
        for (let i = 0; i < count; ++i)
            list.push({ id: "m" + i, senderId: i % 2 ? "u-1" : "u-2", body: "message " + i })
        return list
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

    function test_bubbles_sit_on_their_sides() {
        const chat = openChat([{ id: "a", senderId: "u-2", body: "hello" }, { id: "b", senderId: "u-1", body: "mine" },
                               { id: "c", senderId: "u-2", body: "", attachmentName: "plan.pdf" }])
        const theirs = bubble(chat, 0), mine = bubble(chat, 1)
        verify(!theirs.isMine)
        verify(mine.isMine)
        compare(theirs.column.x, 0, "others on the leading (left) side")
        compare(mine.column.x + mine.column.width, mine.width, "own on the trailing (right) side")
        verify(Find.findItem(bubble(chat, 2), (item) => item.text === "plan.pdf" && item.visible) !== null, "the paperclip label")

        chat.LayoutMirroring.enabled = true
        chat.LayoutMirroring.childrenInherit = true
        compare(bubble(chat, 0).column.x + bubble(chat, 0).column.width, theirs.width, "mirrored: others on the right")
        compare(bubble(chat, 1).column.x, 0, "mirrored: own on the left")
    }

    function test_nobody_signed_in_owns_nothing() {
        const chat = openChat([{ id: "b", senderId: "u-1", body: "mine" }])
        verify(bubble(chat, 0).isMine)
        Fixture.signOut()
        verify(!bubble(chat, 0).isMine)
        const before = Fixture.sendCount()
        chat.model.draft = "to nobody"
        chat.sendDraft()
        wait(200)
        compare(Fixture.sendCount(), before, "sending without a user does nothing")
    }

    function test_send_button_rule() {
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
    }

    function test_return_sends_and_shift_return_breaks_the_line() {
        const composer = createTemporaryObject(composerComponent, testCase)
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

    function test_emoji_strip() {
        const chat = openChat(messages(2))
        verify(!chat.emojiStrip.visible)
        chat.composer.emoji()
        verify(chat.emojiStrip.visible)
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

    function test_scrolls_only_when_the_count_changes() {
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
        chat.composer.emoji()
        tryVerify(() => list.height < 500 && list.atYEnd, 2000, "a reader at the end stays there when the strip opens")
    }

    function test_polls_only_while_shown() {
        const chat = openChat(messages(2))
        const model = chat.model
        tryVerify(() => model.isPolling, 2000, "polling after the first load")
        chat.visible = false
        verify(!model.isPolling, "hidden: no polling")
        chat.visible = true
        compare(chat.model, model, "the same model comes back")
        tryVerify(() => model.isPolling, 2000, "shown again: load, then poll")
    }

    function test_leaving_the_chat_loses_nothing_written() {
        let chat = openChat(messages(2))
        Fixture.setSendsFail(true)
        chat.model.draft = "lost?"
        chat.sendDraft()
        tryVerify(() => chat.messageList.count === 3 && bubble(chat, 2).sendStatus === "failed")
        chat.model.draft = "half a thought"
        const model = chat.model
        chat.destroy() // back to the inbox
        wait(50)
        chat = createTemporaryObject(chatComponent, testCase)
        compare(chat.model, model, "the conversation's model with its unsent message")
        tryCompare(chat.messageList, "count", 3)
        compare(bubble(chat, 2).body, "lost?")
        compare(bubble(chat, 2).sendStatus, "failed")
        compare(chat.composer.input.text, "half a thought")
    }

}
