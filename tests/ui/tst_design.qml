import QtQuick
import QtTest
import Lumora
import LumoraTest

TestCase {
    id: testCase
    name: "Design"
    width: 420
    height: 300
    visible: true
    when: windowShown

    Component { id: buttonComponent; LmButton { title: "Go"; width: 200 } }
    Component { id: fieldComponent; LmTextField { width: 300 } }
    Component { id: avatarComponent; LmAvatar { name: "blue river" } }

    function init() { Fixture.reset() }

    function test_button_blocked_states_data() {
        return [{ tag: "loading", isLoading: true }, { tag: "disabled", isDisabled: true }]
    }

    function test_button_blocked_states(data) {
        const button = createTemporaryObject(buttonComponent, testCase)
        const clicked = signalSpy.createObject(testCase, { target: button, signalName: "clicked" })
        mouseClick(button)
        compare(clicked.count, 1, "an enabled button acts")

        button.isLoading = data.isLoading === true
        button.isDisabled = data.isDisabled === true
        compare(button.opacity, 0.55)
        compare(button.contentItem.children[0].children[0].visible, button.isLoading, "a spinner only while loading")
        mouseClick(button)
        compare(clicked.count, 1, "a blocked button ignores presses")
    }

    Component { id: signalSpy; SignalSpy {} }

    function test_text_field_placeholder() {
        const plain = createTemporaryObject(fieldComponent, testCase, { title: "Username" })
        compare(plain.input.placeholderText, "Username", "without a prompt the title is the placeholder")
        compare(plain.input.Accessible.name, "Username", "the field is named by its title")
        const prompted = createTemporaryObject(fieldComponent, testCase, { title: "Username", prompt: "amina" })
        compare(prompted.input.placeholderText, "amina")

        prompted.isSecure = true
        compare(prompted.input.echoMode, TextInput.Password)
        prompted.text = "secret"
        compare(prompted.input.text, "secret")
    }

    function test_avatar_marks() {
        const bare = createTemporaryObject(avatarComponent, testCase)
        compare(bare.children[0].children[0].text, "BR")
        verify(!bare.children[1].visible, "no flag without a code")
        verify(!bare.children[2].visible, "no badge unless verified")

        const marked = createTemporaryObject(avatarComponent, testCase, { size: 40, countryCode: "sa", isVerified: true })
        const flag = marked.children[1]
        verify(flag.visible)
        compare(flag.text, "\u{1F1F8}\u{1F1E6}")
        compare(flag.Accessible.name, "SA")
        verify(marked.children[2].visible)
        compare(marked.children[2].Accessible.name, "Verified")
        // Trailing corner, shifted 2 right: on the right in left-to-right layouts...
        compare(flag.x, 40 - flag.width + 2)
        // ...and on the left when mirrored.
        marked.LayoutMirroring.enabled = true
        marked.LayoutMirroring.childrenInherit = true // as the root view sets it
        compare(flag.x, 2)
    }
}
