import QtQuick
import QtQuick.Layouts
import Lumora.Design

Rectangle {

    implicitHeight: 1
    height: 1
    Layout.fillWidth: true
    color: LmColor.divider
}
