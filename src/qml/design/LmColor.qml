pragma Singleton
import QtQuick
import Lumora

// The palette. Screens pass the scheme in effect ("light" or "dark"; anything else counts as light).
QtObject {
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

    function inkAdaptive(scheme) { return scheme === "dark" ? hex(0xE8F2F1) : ink }
    function brandAdaptive(scheme) { return scheme === "dark" ? brandDark : brand }
    function surfaceAdaptive(scheme) { return scheme === "dark" ? surfaceDark : surface }
    function hairlineAdaptive(scheme) { return scheme === "dark" ? hairlineDark : hairline }

    function withOpacity(colour, opacity) { return Qt.rgba(colour.r, colour.g, colour.b, colour.a * opacity) }
}
