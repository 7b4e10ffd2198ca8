import QtQuick
import QtQuick.Layouts
import Lumora

Rectangle {

    implicitHeight: 1
    height: 1
    Layout.fillWidth: true
    color: LmColor.divider
}
