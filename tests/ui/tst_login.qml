import QtQuick
import QtTest
import Lumora
import LumoraTest
import "find.js" as Find

TestCase {
    id: testCase
    name: "SignIn"
    width: 420
    height: 600
    visible: true
    when: windowShown

    Component { id: loginComponent; LoginView { width: 420; height: 600 } }

    function init() { Fixture.reset() }

    function test_button_enabling() {
        const login = createTemporaryObject(loginComponent, testCase)
        login.username = ""
        verify(!login.signInButton.enabled, "empty user name")
        login.password = ""
        verify(!login.signInButton.enabled)
        login.username = "x"
        verify(!login.signInButton.enabled, "only once both are filled")
        login.password = "y"
        verify(login.signInButton.enabled)
        login.username = "   "
        verify(login.signInButton.enabled, "spaces are not empty")
    }

    function test_what_is_sent_data() {
        return [
            { tag: "spaces and tabs trimmed", username: " \tamina\t ", password: "sunshine123", sentName: "amina" },
            { tag: "only spaces", username: "    ", password: "pw", sentName: "" },
            { tag: "line breaks kept", username: "amina\n", password: "pw", sentName: "amina\n" },
            { tag: "password untouched", username: "amina", password: "  spaced pw  ", sentName: "amina" },
        ]
    }

    function test_what_is_sent(data) {
        const login = createTemporaryObject(loginComponent, testCase)
        login.username = data.username
        login.password = data.password
        const finished = signalSpy.createObject(testCase, { target: AppState.auth, signalName: "loginFinished" })
        mouseClick(login.signInButton)
        verify(login.isLoading, "the button turns into its loading look")
        verify(!login.signInButton.enabled)
        finished.wait(5000)
        verify(!login.isLoading)
        const sent = Fixture.lastSignIn()
        compare(sent.username, data.sentName)
        compare(sent.password, data.password)
    }

    Component { id: signalSpy; SignalSpy {} }

    function test_failed_sign_in_keeps_the_fields() {
        const login = createTemporaryObject(loginComponent, testCase)
        login.password = "wrong"
        const errorLine = Find.findItem(login, (item) => item.Accessible.role === Accessible.AlertMessage)
        verify(!errorLine.visible, "no error line before a failure")
        mouseClick(login.signInButton)
        tryVerify(() => errorLine.visible)
        compare(errorLine.text, "Wrong username or password")
        verify(Qt.colorEqual(errorLine.color, LmColor.copper))
        compare(login.username, "amina")
        compare(login.password, "wrong")
        verify(!AppState.auth.isAuthenticated)
    }

    function test_service_hint() {
        const login = createTemporaryObject(loginComponent, testCase)
        compare(login.username, "amina", "the demo account is pre-filled")
        const hint = "You can change the service address in Settings. " + Fixture.serviceURL()
        verify(Find.findItem(login, (item) => item.text === hint) !== null)
    }
}
