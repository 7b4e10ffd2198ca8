pragma Singleton
import QtQuick
import Lumora.Design

// The palette. The scheme's tokens below follow the scheme in effect (LmTheme; anything but "dark"
// counts as light).
QtObject {
    readonly property bool dark: LmTheme.scheme === "dark"

    readonly property color brand: hex(0x0F6B63)
    readonly property color brandDark: hex(0x2DB5A8)
    readonly property color ink: hex(0x0B1F24)
    readonly property color surface: hex(0xF3F7F6)
    readonly property color surfaceDark: hex(0x071316)
    readonly property color copper: hex(0xC45C26)
    readonly property color gold: hex(0xB8892A)
    readonly property color hairline: hex(0x0B1F24, 0.12)
    readonly property color hairlineDark: hex(0xFFFFFF, 0.12)

    // Bits 24-31 are ignored: no alpha is read from the value.
    function hex(value, opacity) {
        return Qt.rgba(((value >> 16) & 0xFF) / 255, ((value >> 8) & 0xFF) / 255, (value & 0xFF) / 255,
                       opacity === undefined ? 1.0 : opacity)
    }

    readonly property color foreground: dark ? hex(0xE8F2F1) : ink
    readonly property color accent: dark ? brandDark : brand
    readonly property color background: dark ? surfaceDark : surface
    readonly property color divider: dark ? hairlineDark : hairline

    function withOpacity(colour, opacity) { return Qt.rgba(colour.r, colour.g, colour.b, colour.a * opacity) }
}
