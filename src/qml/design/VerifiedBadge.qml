import QtQuick
import Lumora.Design

LmIcon {
    name: "checkmark.seal.fill"
    size: 12
    color: LmColor.gold
    Accessible.ignored: false
    Accessible.role: Accessible.Graphic
    Accessible.name: qsTrId("verified")
}
