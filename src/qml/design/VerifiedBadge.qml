import QtQuick
import Lumora

LmIcon {
    name: "checkmark.seal.fill"
    size: 12
    color: LmColor.gold
    Accessible.ignored: false
    Accessible.role: Accessible.Graphic
    Accessible.name: qsTrId("verified")
}
