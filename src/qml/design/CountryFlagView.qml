import QtQuick
import QtQuick.Controls
import Lumora.Design

// A flag drawn as an emoji; screen readers and the hover help read the code itself.
Text {
    id: flag

    property string countryCode
    property real size: 14
    readonly property int wholeSize: Math.max(1, Math.floor(size))

    text: LmMarks.emojiFlag(countryCode)
    // Fonts load at whole pixel sizes only; the scale keeps a fractional size (15.2 on a 40 avatar).
    font: LmTypography.font(wholeSize)
    scale: size / wholeSize
    Accessible.role: Accessible.StaticText
    Accessible.name: countryCode.toUpperCase()

    HoverHandler { id: hover }
    ToolTip.visible: hover.hovered
    ToolTip.text: countryCode.toUpperCase()
}
