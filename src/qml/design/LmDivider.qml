import QtQuick
import QtQuick.Layouts
import Lumora

Rectangle {
    property string scheme: AppState.appearance.colorScheme

    implicitHeight: 1
    height: 1
    Layout.fillWidth: true
    color: LmColor.hairlineAdaptive(scheme)
}
