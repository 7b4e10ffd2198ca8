import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora

Item {
    readonly property string scheme: AppState.appearance.colorScheme

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 12

        BusyIndicator {
            running: true
            Layout.alignment: Qt.AlignHCenter
            palette.dark: LmColor.brandAdaptive(parent.parent.scheme)
            Accessible.name: qsTrId("Lumora")
        }
        Text {
            text: qsTrId("Lumora")
            font: LmTypography.brandDisplay
            color: LmColor.brandAdaptive(parent.parent.scheme)
            Layout.alignment: Qt.AlignHCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
