import QtQuick
import QtTest
import Lumora
import LumoraTest
import "find.js" as Find

TestCase {
    id: testCase
    name: "Account"
    width: 420
    height: 600
    visible: true
    when: windowShown

    Component { id: loginComponent; LoginView { width: 420; height: 600 } }
    Component { id: passwordComponent; ChangePasswordView { width: 360; height: 420 } }
    Component { id: profileComponent; ProfileView { width: 420; height: 600 } }
    Component { id: settingsComponent; SettingsView { width: 420; height: 600 } }
    Component { id: signalSpy; SignalSpy {} }

    function init() { Fixture.reset() }

    function textItem(root, text) { return Find.findItem(root, (item) => item.text === text && item.visible) }

    // Presses `button` and returns once the service has answered with `signalName` on AppState.auth.
    function clickAndWait(button, signalName) {
        const finished = signalSpy.createObject(testCase, { target: AppState.auth, signalName: signalName })
        mouseClick(button)
        finished.wait(5000)
    }

    // Scrolls the settings so the item showing `text` (or the item itself) is in view, then clicks it.
    function clickSetting(settings, textOrItem) {
        const item = typeof textOrItem === "string" ? textItem(settings, textOrItem) : textOrItem
        const flick = settings.flickable
        const y = item.mapToItem(flick.contentItem, 0, 0).y
        flick.contentY = Math.max(0, Math.min(y - 50, flick.contentHeight - flick.height))
        waitForRendering(settings)
        mouseClick(item)
    }

    // Sign-in

    function test_sign_in_screen_hint_failure_and_button() {
        const login = createTemporaryObject(loginComponent, testCase)
        compare(login.username, "amina", "the demo account is pre-filled")
        const hint = "You can change the service address in Settings. " + Fixture.serviceURL()
        verify(Find.findItem(login, (item) => item.text === hint) !== null)

        login.password = "wrong"
        const errorLine = Find.findItem(login, (item) => item.Accessible.role === Accessible.AlertMessage)
        verify(!errorLine.visible, "no error line before a failure")
        mouseClick(login.signInButton)
        tryVerify(() => errorLine.visible)
        compare(errorLine.text, "Wrong username or password")
        verify(Qt.colorEqual(errorLine.color, LmColor.copper))
        compare(login.username, "amina", "a failed sign-in keeps the fields")
        compare(login.password, "wrong")
        verify(!AppState.auth.isAuthenticated)

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

    function test_what_sign_in_sends_data() {
        return [
            { tag: "spaces and tabs trimmed", username: " \tamina\t ", password: "sunshine123", sentName: "amina" },
            { tag: "only spaces", username: "    ", password: "pw", sentName: "" },
            { tag: "line breaks kept", username: "amina\n", password: "pw", sentName: "amina\n" },
            { tag: "password untouched", username: "amina", password: "  spaced pw  ", sentName: "amina" },
        ]
    }

    function test_what_sign_in_sends(data) {
        const login = createTemporaryObject(loginComponent, testCase)
        login.username = data.username
        login.password = data.password
        const finished = signalSpy.createObject(testCase, { target: AppState.auth, signalName: "loginFinished" })
        mouseClick(login.signInButton)
        verify(login.isLoading, "the button turns into its loading look")
        verify(!login.signInButton.enabled)
        finished.wait(5000)
        verify(!login.isLoading)
        const sent = Fixture.lastRequestTo("/auth/login")
        compare(sent.username, data.sentName)
        compare(sent.password, data.password)
    }

    // Change password

    function test_change_password_rules_and_rejection() {
        Fixture.signIn()
        const view = createTemporaryObject(passwordComponent, testCase)
        view.currentPassword = "old"
        view.newPassword = "1234567"
        view.confirmPassword = "1234567"
        verify(!view.submitButton.enabled, "7 characters, even matching")
        view.newPassword = "12345678"
        verify(view.submitButton.enabled, "8 characters")
        view.newPassword = "\u{1F600}\u{1F600}\u{1F600}\u{1F600}\u{1F600}\u{1F600}\u{1F600}"
        verify(!view.submitButton.enabled, "7 emoji are 7 characters (14 UTF-16 units)")
        view.newPassword += "\u{1F600}"
        verify(view.submitButton.enabled, "8 emoji")
        view.currentPassword = ""
        verify(!view.submitButton.enabled, "no current password")

        view.currentPassword = "wrong"
        view.newPassword = "brand new pw"
        view.confirmPassword = ""
        verify(view.submitButton.enabled, "an empty confirmation still enables the button")
        const before = Fixture.requestCount("/auth/change-password")
        mouseClick(view.submitButton)
        verify(textItem(view, "The new passwords do not match.") !== null)
        wait(100)
        compare(Fixture.requestCount("/auth/change-password"), before, "nothing is sent")
        verify(!view.isLoading)

        view.confirmPassword = "brand new pw"
        clickAndWait(view.submitButton, "passwordChangeFinished")
        verify(textItem(view, "Current password is incorrect") !== null, "the service's message")
        compare(view.newPassword, "brand new pw", "the fields stay as typed")
    }

    // Profile

    function test_profile_fills_fails_and_saves() {
        Fixture.scriptUser({ displayName: "Amina", countryCode: "EG", bio: "Hello" })
        Fixture.signIn()
        const profile = createTemporaryObject(profileComponent, testCase)
        compare(profile.displayName, "Amina")
        compare(profile.countryCode, "EG")
        compare(profile.bio, "Hello")
        verify(textItem(profile, "@amina") !== null)
        verify(textItem(profile, "USER") !== null)

        profile.showChangePassword = true
        tryCompare(profile.passwordSheet, "opened", true)
        mouseClick(profile.passwordSheet.contentItem.cancelButton)
        tryCompare(profile, "showChangePassword", false)
        tryCompare(profile.passwordSheet, "visible", false)

        Fixture.setProfileFails(true)
        profile.displayName = "Someone Else"
        clickAndWait(profile.saveButton, "profileSaveFinished")
        compare(AppState.auth.displayName, "Amina", "the header does not show an unsaved name")
        compare(profile.displayName, "Someone Else", "the edit stays in its field")
        const failure = textItem(profile, "Server error")
        verify(failure !== null)
        verify(Qt.colorEqual(failure.color, LmColor.copper))

        Fixture.setProfileFails(false)
        clickAndWait(profile.saveButton, "profileSaveFinished")
        compare(AppState.auth.displayName, "Someone Else", "a second press retries")

        profile.displayName = ""
        profile.countryCode = "sa"
        profile.email = "amina@example.org"
        verify(textItem(profile, "SA") !== null, "the flag row shows the code in upper case at once")
        clickAndWait(profile.saveButton, "profileSaveFinished")
        const sent = Fixture.lastRequestTo("/users/me")
        verify(!("displayName" in sent), "a cleared name is left out, not sent empty")
        compare(sent.countryCode, "SA")
        verify(!("email" in sent), "the e-mail is never sent")
        compare(AppState.auth.email, "amina@example.org", "but kept in the record")
        compare(AppState.auth.countryCode, "SA")
        const saved = textItem(profile, "Profile saved.")
        verify(saved !== null)
        verify(Qt.colorEqual(saved.color, LmColor.brand))
    }

    // Settings

    function test_settings_choices_presets_and_address() {
        const settings = createTemporaryObject(settingsComponent, testCase)
        verify(!settings.adminButton.visible, "no admin entry when signed out")
        verify(!settings.meshBlock.visible)
        clickSetting(settings, "Local mesh")
        compare(AppState.appearance.connectivity, AppearanceManager.LocalMesh)
        verify(settings.meshBlock.visible)
        verify(textItem(settings, "No other Lumora clients found on this network yet.") !== null)
        clickSetting(settings, "Cloud service")
        verify(!settings.meshBlock.visible)

        verify(AppState.appearance.notifications, "notifications are on until switched off")
        clickSetting(settings, "Show a notification when a message arrives")
        compare(Fixture.preference("notificationsEnabled"), "false")
        clickSetting(settings, "Show a notification when a message arrives")
        compare(Fixture.preference("notificationsEnabled"), "true")

        const insecure = Find.findItem(settings, (i) => i.objectName === "insecureAddressNote")
        clickSetting(settings, "Local")
        compare(Fixture.preference("apiBaseURL"), "http://127.0.0.1:3001", "a preset writes at once")
        verify(!insecure.visible, "plain HTTP to this machine is fine")
        clickSetting(settings, "api.lumora.app")
        compare(Fixture.preference("apiBaseURL"), "https://api.lumora.app")
        verify(!insecure.visible)
        settings.apiBaseURL = "  http://example.test:8080 \n"
        verify(insecure.visible, "plain HTTP elsewhere is not secure, and the screen says so")
        clickSetting(settings, "Save address")
        compare(Fixture.preference("apiBaseURL"), "http://example.test:8080")
        compare(settings.apiBaseURL, "  http://example.test:8080 \n", "the field keeps what was typed")
        settings.apiBaseURL = "   "
        clickSetting(settings, "Save address")
        compare(Fixture.preference("apiBaseURL"), "")

        clickSetting(settings, "Dark")
        compare(AppState.appearance.appearance, AppearanceManager.Dark)
        clickSetting(settings, "Arabic")
        compare(AppState.language.language, LanguageManager.Arabic)
        verify(textItem(settings, "الإعدادات") !== null, "labels follow the language at once")
    }

    function test_settings_admin_entry_for_administrators() {
        Fixture.scriptUser({ role: "admin" })
        Fixture.signIn()
        const settings = createTemporaryObject(settingsComponent, testCase)
        verify(settings.adminButton.visible)
        clickSetting(settings, settings.adminButton)
        verify(AppState.showAdmin)
    }
}
