import QtQuick
import Lumora.Design

// Where the keyboard is: a ring in the accent colour around the focused control, drawn just outside
// it so it shows on any fill, in both schemes. Declared inside the control it marks.
Rectangle {
    property bool shown: false

    anchors.fill: parent
    anchors.margins: -3
    radius: 10
    color: "transparent"
    border.width: 2
    border.color: LmColor.accent
    visible: shown
    Accessible.ignored: true
}
