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
    Component { id: textComponent; Text {} }

    function init() { Fixture.reset() }

    function sameColor(actual, expected, message) {
        verify(Qt.colorEqual(actual, expected), message + ": " + actual + " is not " + expected)
    }

    function test_palette() {
        sameColor(LmColor.hex(0x0F6B63), LmColor.brand, "hex builds brand")
        sameColor(LmColor.hex(0xFF0F6B63), LmColor.brand, "the top byte is dropped")
        compare(LmColor.hex(0x0F6B63, 0.5).a, 0.5)
        // The scheme's tokens follow the appearance preference, set from C++ and nowhere else.
        AppState.appearance.appearanceMode = "dark"
        sameColor(LmColor.foreground, "#E8F2F1", "dark ink")
        sameColor(LmColor.accent, "#2DB5A8", "dark brand")
        sameColor(LmColor.background, "#071316", "dark surface")
        AppState.appearance.appearanceMode = "light"
        sameColor(LmColor.foreground, LmColor.ink, "light ink")
        sameColor(LmColor.background, "#F3F7F6", "light surface")
        fuzzyCompare(LmColor.hairline.a, 0.12, 0.003)
        sameColor(Qt.rgba(LmColor.hairline.r, LmColor.hairline.g, LmColor.hairline.b, 1), LmColor.ink, "hairline is ink")
        sameColor(LmColor.hairlineDark, Qt.rgba(1, 1, 1, 0.12), "dark hairline is white at 12 %")
    }

    function test_typography() {
        compare(LmTypography.brandDisplay.pixelSize, 28)
        compare(LmTypography.brandDisplay.weight, Font.DemiBold)
        compare(LmTypography.title.pixelSize, 18)
        compare(LmTypography.headline.pixelSize, 15)
        compare(LmTypography.body.pixelSize, 13)
        compare(LmTypography.body.weight, Font.Normal)
        compare(LmTypography.callout.weight, Font.Medium)
        compare(LmTypography.caption.pixelSize, 11)
        compare(LmTypography.micro.pixelSize, 10)
        compare(LmTypography.micro.weight, Font.Medium)
    }

    function test_button_styles_data() {
        return [
            { tag: "primary light", style: "primary", scheme: "light", fill: "#0F6B63", fg: "white", outlined: false },
            { tag: "primary dark", style: "primary", scheme: "dark", fill: "#2DB5A8", fg: "white", outlined: false },
            { tag: "destructive dark", style: "destructive", scheme: "dark", fill: Qt.rgba(196 / 255, 92 / 255, 38 / 255, 0.92), fg: "white", outlined: false },
            { tag: "secondary light", style: "secondary", scheme: "light", fill: "transparent", fg: "#0B1F24", outlined: true },
            { tag: "ghost dark", style: "ghost", scheme: "dark", fill: "transparent", fg: "#E8F2F1", outlined: true },
        ]
    }

    function test_button_styles(data) {
        AppState.appearance.appearanceMode = data.scheme
        const button = createTemporaryObject(buttonComponent, testCase, { style: data.style })
        sameColor(button.background.color, data.fill, "fill")
        sameColor(button.foreground, data.fg, "foreground")
        compare(button.background.border.width, data.outlined ? 1 : 0)
        if (data.outlined)
            sameColor(button.background.border.color, LmColor.divider, "outline")
        compare(button.opacity, 1.0)
    }

    function test_button_blocked_states() {
        const button = createTemporaryObject(buttonComponent, testCase)
        const clicked = signalSpy.createObject(testCase, { target: button, signalName: "clicked" })
        mouseClick(button)
        compare(clicked.count, 1, "an enabled button acts")

        button.isLoading = true
        compare(button.opacity, 0.55)
        const spinner = button.contentItem.children[0].children[0]
        verify(spinner.visible, "loading shows the spinner")
        mouseClick(button)
        compare(clicked.count, 1, "a loading button ignores presses")

        button.isLoading = false
        button.isDisabled = true
        compare(button.opacity, 0.55)
        verify(!spinner.visible, "disabled alone has no spinner")
        mouseClick(button)
        compare(clicked.count, 1, "a disabled button ignores presses")
    }

    Component { id: signalSpy; SignalSpy {} }

    function test_text_field_placeholder() {
        const plain = createTemporaryObject(fieldComponent, testCase, { title: "Username" })
        compare(plain.input.placeholderText, "Username", "without a prompt the title is the placeholder")
        compare(plain.input.Accessible.name, "Username", "the field is named by its title")
        const prompted = createTemporaryObject(fieldComponent, testCase, { title: "Username", prompt: "amina" })
        compare(prompted.input.placeholderText, "amina")

        const before = prompted.input.background.color
        prompted.isSecure = true
        compare(prompted.input.echoMode, TextInput.Password)
        sameColor(prompted.input.background.color, before, "securing changes only the kind of input")
        prompted.text = "secret"
        compare(prompted.input.text, "secret")
    }

    function test_avatar_marks() {
        const bare = createTemporaryObject(avatarComponent, testCase)
        compare(bare.children[0].children[0].text, "BR")
        verify(!bare.children[1].visible, "no flag without a code")
        verify(!bare.children[2].visible, "no badge unless verified")

        const marked = createTemporaryObject(avatarComponent, testCase, { size: 40, countryCode: "sa", isVerified: true })
        fuzzyCompare(marked.initialsSize, 14.4, 0.001)
        fuzzyCompare(marked.flagSize, 15.2, 0.001)
        fuzzyCompare(marked.badgeSize, 12.8, 0.001)
        // Drawn at 14.4 and 15.2, not rounded: on screen, taller than the same text at 14 and 15 px,
        // shorter than at 15 and 16.
        const onScreen = (item) => item.mapToItem(null, 0, 0, item.width, item.height).height
        const plain = (item, px) => createTemporaryObject(textComponent, testCase,
                                                          { text: item.text, font: LmTypography.font(px, item.font.weight) }).height
        const initials = marked.children[0].children[0]
        verify(onScreen(initials) > plain(initials, 14) && onScreen(initials) < plain(initials, 15),
               "initials " + onScreen(initials) + " high")
        const markFlag = marked.children[1]
        verify(onScreen(markFlag) > plain(markFlag, 15) && onScreen(markFlag) < plain(markFlag, 16),
               "flag " + onScreen(markFlag) + " high")
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
