import QtQuick
import QtTest
import Lumora
import LumoraTest
import "find.js" as Find

TestCase {
    id: testCase
    name: "RootAndShell"
    width: 420
    height: 600
    visible: true
    when: windowShown

    Component { id: rootComponent; RootView { width: 420; height: 600 } }

    function init() { Fixture.reset() }

    function signedInRoot(user) {
        const root = createTemporaryObject(rootComponent, testCase)
        AppState.startBootstrap()
        tryCompare(root, "screen", "login")
        Fixture.scriptUser(user)
        AppState.auth.startLogin("amina", "sunshine123")
        tryVerify(() => root.screen !== "login", 5000, "the sign-in succeeds")
        return root
    }

    function tabButton(shell, title) {
        const button = Find.findItem(shell, (item) => item.iconName !== undefined && item.selected !== undefined
                                                      && item.title === title)
        verify(button !== null, "no tab titled " + title)
        return button
    }

    function flagOf(root) { return Find.findItem(root, (item) => item.countryCode !== undefined && item.size === 12) }

    function test_state_follows_the_session_data() {
        return [
            { tag: "plain user", user: { displayName: "Amina", countryCode: "EG" }, screen: "shell" },
            { tag: "must change password", user: { mustChangePassword: true }, screen: "changePassword" },
        ]
    }

    function test_state_follows_the_session(data) {
        const root = signedInRoot(data.user)
        compare(root.screen, data.screen)
        Fixture.signOut()
        compare(root.screen, "login", "signing out shows the sign-in screen at once")
    }

    function test_header_name_flag_and_admin_button() {
        let root = signedInRoot({ displayName: "Amina", countryCode: "EG" })
        verify(Find.findItem(root, (item) => item.text === "Amina" && item.visible) !== null)
        verify(flagOf(root).visible)
        verify(!root.content.adminButton.visible, "not for a plain user")
        root.destroy()
        Fixture.signOut()

        root = signedInRoot({ role: "admin" })
        compare(root.screen, "shell")
        verify(!flagOf(root).visible, "no country code, no flag")
        const button = root.content.adminButton
        verify(button.visible)
        mouseClick(button)
        verify(AppState.showAdmin)
        const popover = root.content.adminPopover
        tryCompare(popover, "opened", true)
        verify(popover.availableHeight >= popover.contentItem.implicitHeight, "the whole panel fits, link included")
        popover.close()
        tryCompare(AppState, "showAdmin", false)
    }

    function test_tabs_keep_or_drop_the_open_conversation() {
        const shell = signedInRoot({ displayName: "Amina" }).content
        Fixture.openConversation()
        compare(shell.contentKind, "chat")

        mouseClick(tabButton(shell, "Inbox"))
        compare(shell.contentKind, "chat", "choosing inbox keeps the conversation open")

        mouseClick(tabButton(shell, "Profile"))
        compare(shell.contentKind, "profile")
        verify(!AppState.hasSelectedConversation, "another tab closes the conversation")
        verify(tabButton(shell, "Profile").selected)
        verify(!tabButton(shell, "Inbox").selected)
        tryVerify(() => Qt.colorEqual(tabButton(shell, "Profile").tint, LmColor.brand), 1000, "selected tab in brand")

        mouseClick(tabButton(shell, "Inbox"))
        compare(shell.contentKind, "inbox", "back on inbox shows the list, not the conversation")

        // The same from the keyboard: Ctrl+2, Ctrl+comma, Ctrl+1.
        keyClick(Qt.Key_2, Qt.ControlModifier)
        compare(shell.contentKind, "profile")
        keyClick(Qt.Key_Comma, Qt.ControlModifier)
        compare(shell.contentKind, "settings")
        keyClick(Qt.Key_1, Qt.ControlModifier)
        compare(shell.contentKind, "inbox")
    }

    // Ctrl+K, type part of a title, Down, Return: that conversation is open, no pointer needed.
    function test_quick_switcher() {
        const at = (minute) => new Date(Date.UTC(2026, 11, 6, 9, minute)).toISOString()
        Fixture.scriptConversations([{ id: "o", title: "Omar", updatedAt: at(3) },
                                     { id: "l", title: "Layla", updatedAt: at(2) },
                                     { id: "m", title: "Lamis", updatedAt: at(1) }])
        const shell = signedInRoot({ displayName: "Amina" }).content
        tryCompare(AppState.inbox, "count", 3)
        keyClick(Qt.Key_K, Qt.ControlModifier)
        const switcher = shell.quickSwitcher
        tryVerify(() => switcher.opened)
        verify(switcher.field.activeFocus)
        keyClick(Qt.Key_L)
        keyClick(Qt.Key_A)
        compare(switcher.results.count, 2)
        compare(switcher.field.Accessible.description, "Layla")
        keyClick(Qt.Key_Down)
        compare(switcher.field.Accessible.description, "Lamis")
        keyClick(Qt.Key_Return)
        tryVerify(() => !switcher.visible)
        compare(shell.contentKind, "chat")
        compare(AppState.chatModel().title, "Lamis")

        keyClick(Qt.Key_K, Qt.ControlModifier)
        tryVerify(() => switcher.opened)
        compare(switcher.results.count, 3, "it opens afresh")
        keyClick(Qt.Key_Escape)
        tryVerify(() => !switcher.visible)
        compare(AppState.chatModel().title, "Lamis", "Escape changes nothing")
    }

    // Every control shown (buttons, fields, lists) is a Tab stop; rows and bubbles are reached from
    // their list by the arrows. Prints the figures: stops against controls, per screen.
    function tabStops(root) {
        const stops = []
        let item = root.nextItemInFocusChain(true)
        while (item && stops.indexOf(item) < 0 && stops.length < 300) {
            stops.push(item)
            item = item.nextItemInFocusChain(true)
        }
        return stops
    }
    function controls(root) {
        const shown = (item) => {
            for (let i = item; i && i !== root; i = i.parent)
                if (!i.visible)
                    return false
            return true
        }
        return Find.findAll(root, (item) => shown(item) && item.enabled && item.focusPolicy !== Qt.NoFocus
                            && ((item.clicked !== undefined && item.pressed !== undefined)
                                || item.cursorPosition !== undefined || item.keyNavigationEnabled === true)
                            && !(item.parent && item.parent.parent && item.parent.parent.keyNavigationEnabled !== undefined
                                 && item.parent.parent.model !== undefined && item.parent.parent.keyNavigationEnabled !== false))
    }
    function checkTabStops(screen, root) {
        waitForRendering(root)
        const stops = tabStops(root)
        const all = controls(root)
        const missed = all.filter((item) => stops.indexOf(item) < 0)
        console.log("tab stops on " + screen + ": " + (all.length - missed.length) + " of " + all.length)
        compare(missed.map((item) => item.Accessible.name || String(item)), [], screen + ": controls Tab never reaches")
    }

    function test_every_control_is_a_tab_stop() {
        const root = createTemporaryObject(rootComponent, testCase)
        AppState.startBootstrap()
        tryCompare(root, "screen", "login")
        checkTabStops("sign-in", root)
        root.destroy()

        const at = (minute) => new Date(Date.UTC(2026, 11, 6, 9, minute)).toISOString()
        Fixture.scriptConversations([{ id: "o", title: "Omar", updatedAt: at(3) }])
        const shell = signedInRoot({ displayName: "Amina" }).content
        tryCompare(AppState.inbox, "count", 1)
        checkTabStops("inbox", shell)
        Fixture.openConversation()
        tryCompare(shell, "contentKind", "chat")
        checkTabStops("chat", shell)
        keyClick(Qt.Key_2, Qt.ControlModifier)
        checkTabStops("profile", shell)
        keyClick(Qt.Key_3, Qt.ControlModifier)
        checkTabStops("settings", shell)

        // In Arabic the order follows the reading order: the tabs from right to left.
        AppState.language.language = LanguageManager.Arabic
        waitForRendering(shell)
        const tabs = tabStops(shell).filter((item) => item.iconName !== undefined && item.selected !== undefined)
        compare(tabs.length, 3)
        const x = tabs.map((item) => item.mapToItem(null, 0, 0).x)
        verify(x[0] > x[1] && x[1] > x[2], "Tab goes through the tabs right to left in Arabic: " + x)
    }

    function test_language_and_scheme_restyle_the_root() {
        const root = signedInRoot({ displayName: "Amina" })
        verify(!root.LayoutMirroring.enabled)
        AppState.language.language = LanguageManager.Arabic
        verify(root.LayoutMirroring.enabled)
        compare(Qt.application.layoutDirection, Qt.RightToLeft)
        tabButton(root.content, "صندوق الوارد")
        AppState.language.language = LanguageManager.English
        verify(!root.LayoutMirroring.enabled)
        tabButton(root.content, "Inbox")

        verify(Qt.colorEqual(root.children[0].color, LmColor.surface))
        AppState.appearance.appearance = AppearanceManager.Dark
        verify(Qt.colorEqual(root.children[0].color, LmColor.surfaceDark))
    }
}
