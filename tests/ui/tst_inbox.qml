import QtQuick
import QtTest
import Lumora
import LumoraTest
import "find.js" as Find

TestCase {
    id: testCase
    name: "Inbox"
    width: 420
    height: 600
    visible: true
    when: windowShown

    Component { id: inboxComponent; InboxView { width: 420; height: 600 } }

    readonly property var salma: ({ id: "u-2", username: "salma", displayName: "Salma", countryCode: "SA", verified: true })

    function init() { Fixture.reset() }

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

    function test_rows_in_the_models_order_with_marks() {
        const inbox = loadedInbox([
            { id: "older", updatedMinute: 1, title: "Older", lastBody: "first", unreadCount: 0, peer: salma },
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
    }

    function test_choosing_a_row_selects_it() {
        const inbox = loadedInbox([{ id: "a", updatedMinute: 2, title: "A" }, { id: "b", updatedMinute: 1, title: "B" }])
        const selected = signalSpy.createObject(testCase, { target: inbox, signalName: "select" })
        mouseClick(row(inbox, 1))
        compare(selected.count, 1)
        compare(selected.signalArguments[0][0], 1)
    }

    function test_a_failed_refresh_keeps_the_list() {
        const inbox = loadedInbox([{ id: "a", updatedMinute: 2, title: "A" }])
        Fixture.setInboxFails(true)
        inbox.model.startLoad()
        const error = Find.findItem(inbox, (item) => item.Accessible.role === Accessible.AlertMessage)
        tryVerify(() => error.visible)
        compare(error.text, "Server error")
        compare(inbox.list.count, 1)
        verify(!inbox.showsSpinner)
    }

    function test_500_rows_stay_virtual() {
        const many = []
        for (let i = 0; i < 500; ++i)
            many.push({ id: "c" + i, updatedMinute: i, title: "Conversation " + i, lastBody: "hello " + i })
        const inbox = loadedInbox(many)
        const built = Array.prototype.filter.call(inbox.list.contentItem.children, (item) => item.title !== undefined && item.visible).length
        verify(built < 40, "only the rows in view are built (" + built + ")")
    }

    Component { id: signalSpy; SignalSpy {} }

}
