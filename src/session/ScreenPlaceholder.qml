import QtQuick
import QtQuick.Layouts
import Lumora

// Holds the place of a screen that is not built yet.
Item {
    id: placeholder

    property string title
    property string detail
    readonly property string scheme: AppState.appearance.colorScheme

    ColumnLayout {
        anchors.centerIn: parent
        width: parent.width - 40
        spacing: 6

        Text {
            text: placeholder.title
            font: LmTypography.headline
            color: LmColor.inkAdaptive(placeholder.scheme)
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            visible: placeholder.detail !== ""
            text: placeholder.detail
            font: LmTypography.caption
            color: LmColor.withOpacity(LmColor.inkAdaptive(placeholder.scheme), 0.6)
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            Layout.fillWidth: true
        }
    }
}
