import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design

// A captioned single-line input. Without a prompt the caption is also the placeholder.
ColumnLayout {
    id: field

    property string title
    property alias text: input.text
    property bool isSecure: false
    property var prompt: undefined
    readonly property alias input: input

    signal accepted() // Return or Enter in the field

    spacing: 4
    Layout.fillWidth: true

    Text {
        text: field.title
        font: LmTypography.caption
        color: LmColor.withOpacity(LmColor.foreground, 0.7)
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignLeft
        // Read as the field's label: Qt 6.4 drops the accessible name of a password field.
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    // Fields are one line of Latin body text high whatever fills them; the input itself gets the
    // tallest line the fonts need, centred, so Arabic glyphs are never cut.

    TextField {
        id: input
        Layout.fillWidth: true
        implicitHeight: LmTypography.lineHeight(LmTypography.body) + 16
        readonly property real lineBox: LmTypography.tallestLineHeight(LmTypography.body)
        // Aligned to the leading edge of the layout, which mirrors for right-to-left languages.
        horizontalAlignment: TextInput.AlignLeft
        // Arabic glyphs stand taller than the Latin line the field is sized for: centring keeps them whole.
        verticalAlignment: TextInput.AlignVCenter
        passwordCharacter: "\u2022"
        echoMode: field.isSecure ? TextInput.Password : TextInput.Normal
        placeholderText: field.prompt !== undefined && field.prompt !== null ? field.prompt : field.title
        placeholderTextColor: LmColor.withOpacity(LmColor.foreground, 0.4)
        color: LmColor.foreground
        selectionColor: LmColor.withOpacity(LmColor.accent, 0.35)
        selectedTextColor: color
        font: LmTypography.body
        leftPadding: 10
        rightPadding: 10
        topPadding: Math.max(0, (implicitHeight - lineBox) / 2)
        bottomPadding: topPadding
        Accessible.name: field.title
        onAccepted: field.accepted()

        background: Rectangle {
            radius: 8
            color: LmColor.dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(0, 0, 0, 0.04)
            // The focused field: a wider border in the accent colour.
            border.width: input.activeFocus ? 2 : 1
            border.color: input.activeFocus ? LmColor.accent : LmColor.divider
        }
    }
}
