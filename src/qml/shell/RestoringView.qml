import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State
import Lumora.Account
import Lumora.Conversations

Item {

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 12

        BusyIndicator {
            running: true
            Layout.alignment: Qt.AlignHCenter
            palette.dark: LmColor.accent
            Accessible.role: Accessible.ProgressBar // Qt 6.4 gives a spinner no role: readers skip it
            Accessible.name: qsTrId("a11y.busy")
        }
        Text {
            text: qsTrId("Lumora")
            font: LmTypography.brandDisplay
            color: LmColor.accent
            Layout.alignment: Qt.AlignHCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
