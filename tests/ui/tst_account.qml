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

    Component { id: passwordComponent; ChangePasswordView { width: 360; height: 420 } }
    Component { id: profileComponent; ProfileView { width: 420; height: 600 } }
    Component { id: settingsComponent; SettingsView { width: 420; height: 600 } }
    Component { id: adminComponent; AdminPanelView { width: 320; height: 280 } }
    Component { id: rootComponent; RootView { width: 420; height: 600 } }
    Component { id: signalSpy; SignalSpy {} }

    function init() { Fixture.reset() }

    function textItem(root, text) { return Find.findItem(root, (item) => item.text === text && item.visible) }

    // Scrolls the settings so `item` is in view, then clicks it.
    function clickSetting(settings, item) {
        const flick = settings.flickable
        const y = item.mapToItem(flick.contentItem, 0, 0).y
        flick.contentY = Math.max(0, Math.min(y - 50, flick.contentHeight - flick.height))
        waitForRendering(settings)
        mouseClick(item)
    }

    // Change password

    function test_password_length_counts_characters() {
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
    }

    function test_mismatch_is_caught_and_a_rejection_shown() {
        Fixture.signIn()
        const view = createTemporaryObject(passwordComponent, testCase)
        view.currentPassword = "wrong"
        view.newPassword = "brand new pw"
        verify(view.submitButton.enabled, "an empty confirmation still enables the button")
        const before = Fixture.requestCount("/auth/change-password")
        mouseClick(view.submitButton)
        verify(textItem(view, "The new passwords do not match.") !== null)
        wait(100)
        compare(Fixture.requestCount("/auth/change-password"), before, "nothing is sent")
        verify(!view.isLoading)

        view.confirmPassword = "brand new pw"
        const finished = signalSpy.createObject(testCase, { target: AppState.auth, signalName: "passwordChangeFinished" })
        mouseClick(view.submitButton)
        finished.wait(5000)
        verify(textItem(view, "Current password is incorrect") !== null, "the service's message")
        compare(view.newPassword, "brand new pw", "the fields stay as typed")
    }

    function test_sheet_cancel_closes_it() {
        Fixture.signIn()
        const profile = createTemporaryObject(profileComponent, testCase)
        profile.showChangePassword = true
        tryCompare(profile.passwordSheet, "opened", true)
        mouseClick(profile.passwordSheet.contentItem.cancelButton)
        tryCompare(profile, "showChangePassword", false)
        tryCompare(profile.passwordSheet, "visible", false)
    }

    // Profile

    function test_profile_fills_and_saves() {
        Fixture.scriptUser({ displayName: "Amina", countryCode: "EG", bio: "Hello" })
        Fixture.signIn()
        const profile = createTemporaryObject(profileComponent, testCase)
        compare(profile.displayName, "Amina")
        compare(profile.countryCode, "EG")
        compare(profile.bio, "Hello")
        verify(textItem(profile, "@amina") !== null)
        verify(textItem(profile, "USER") !== null)

        profile.displayName = ""
        profile.countryCode = "sa"
        profile.email = "amina@example.org"
        verify(textItem(profile, "SA") !== null, "the flag row shows the code in upper case at once")
        const finished = signalSpy.createObject(testCase, { target: AppState.auth, signalName: "profileSaveFinished" })
        mouseClick(profile.saveButton)
        finished.wait(5000)
        const sent = Fixture.lastRequestTo("/users/me")
        verify(!("displayName" in sent), "a cleared name is left out, not sent empty")
        compare(sent.countryCode, "SA")
        verify(!("email" in sent), "the e-mail is never sent")
        compare(AppState.auth.email, "amina@example.org", "but kept in the record")
        compare(AppState.auth.countryCode, "SA")
        const status = textItem(profile, "Profile saved.")
        verify(status !== null)
        verify(Qt.colorEqual(status.color, LmColor.brand))
    }

    function test_failed_save_leaves_the_record() {
        Fixture.scriptUser({ displayName: "Amina", countryCode: "EG" })
        Fixture.signIn()
        const profile = createTemporaryObject(profileComponent, testCase)
        Fixture.setProfileFails(true)
        profile.displayName = "Someone Else"
        const finished = signalSpy.createObject(testCase, { target: AppState.auth, signalName: "profileSaveFinished" })
        mouseClick(profile.saveButton)
        finished.wait(5000)
        compare(AppState.auth.displayName, "Amina", "the header does not show an unsaved name")
        compare(profile.displayName, "Someone Else", "the edit stays in its field")
        const status = textItem(profile, "Server error")
        verify(status !== null)
        verify(Qt.colorEqual(status.color, LmColor.copper))

        Fixture.setProfileFails(false)
        mouseClick(profile.saveButton)
        finished.wait(5000)
        compare(AppState.auth.displayName, "Someone Else", "a second press retries")
    }

    // Settings

    function test_settings_choices_and_mesh_block() {
        const settings = createTemporaryObject(settingsComponent, testCase)
        verify(!settings.meshBlock.visible)
        clickSetting(settings, textItem(settings, "Local mesh"))
        compare(AppState.appearance.connectivity, AppearanceManager.LocalMesh)
        verify(settings.meshBlock.visible)
        verify(textItem(settings, "No other Lumora clients found on this network yet.") !== null)
        clickSetting(settings, textItem(settings, "Cloud service"))
        verify(!settings.meshBlock.visible)

        clickSetting(settings, textItem(settings, "Dark"))
        compare(AppState.appearance.appearance, AppearanceManager.Dark)
        clickSetting(settings, textItem(settings, "Arabic"))
        compare(AppState.language.language, LanguageManager.Arabic)
        verify(textItem(settings, "الإعدادات") !== null, "labels follow the language at once")
    }

    function test_presets_and_save_write_the_preference() {
        const settings = createTemporaryObject(settingsComponent, testCase)
        const insecure = Find.findItem(settings, (i) => i.objectName === "insecureAddressNote")
        clickSetting(settings, textItem(settings, "Local"))
        compare(Fixture.preference("apiBaseURL"), "http://127.0.0.1:3001", "a preset writes at once")
        verify(!insecure.visible, "plain HTTP to this machine is fine")
        clickSetting(settings, textItem(settings, "api.lumora.app"))
        compare(Fixture.preference("apiBaseURL"), "https://api.lumora.app")
        verify(!insecure.visible)
        settings.apiBaseURL = "  http://example.test:8080 \n"
        verify(insecure.visible, "plain HTTP elsewhere is not secure, and the screen says so")
        clickSetting(settings, textItem(settings, "Save address"))
        compare(Fixture.preference("apiBaseURL"), "http://example.test:8080")
        compare(settings.apiBaseURL, "  http://example.test:8080 \n", "the field keeps what was typed")
        settings.apiBaseURL = "   "
        clickSetting(settings, textItem(settings, "Save address"))
        compare(Fixture.preference("apiBaseURL"), "")
    }

    function test_admin_entry_only_for_administrators() {
        let settings = createTemporaryObject(settingsComponent, testCase)
        verify(!settings.adminButton.visible, "signed out")
        settings.destroy()
        Fixture.scriptUser({ role: "admin" })
        Fixture.signIn()
        settings = createTemporaryObject(settingsComponent, testCase)
        verify(AppState.auth.isAdmin)
        verify(settings.adminButton.visible)
        clickSetting(settings, settings.adminButton)
        verify(AppState.showAdmin)
    }

}
