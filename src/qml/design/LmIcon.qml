import QtQuick
import Lumora.Design

// A symbol from the icon table, tinted. Icons that point along the reading direction set
// `mirrorInRightToLeft`.
Image {
    id: icon

    property string name
    property color color: "black"
    property real size: 16
    property bool mirrorInRightToLeft: false

    width: size
    height: size
    sourceSize: Qt.size(size, size)
    source: name === "" ? "" : "image://lmicon/" + name + "/" + color.toString().slice(1)
    mirror: mirrorInRightToLeft && LayoutMirroring.enabled
    fillMode: Image.PreserveAspectFit
    Accessible.ignored: true
}
