import QtQuick
import QtQuick.Controls
import Lumora

// A flag drawn as an emoji; screen readers and the hover help read the code itself.
Text {
    id: flag

    property string countryCode
    property real size: 14

    text: LmMarks.emojiFlag(countryCode)
    font: LmTypography.font(size)
    Accessible.role: Accessible.StaticText
    Accessible.name: countryCode.toUpperCase()

    HoverHandler { id: hover }
    ToolTip.visible: hover.hovered
    ToolTip.text: countryCode.toUpperCase()
}
