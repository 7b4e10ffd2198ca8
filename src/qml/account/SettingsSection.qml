import QtQuick
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// A titled group of settings on a faint rounded panel.
Rectangle {
    id: section

    property string title
    default property alias content: body.data

    Layout.fillWidth: true
    implicitHeight: body.implicitHeight + 24
    radius: 10
    color: LmColor.dark ? Qt.rgba(1, 1, 1, 0.04) : Qt.rgba(0, 0, 0, 0.03)

    ColumnLayout {
        id: body
        x: 12
        y: 12
        width: section.width - 24
        spacing: 8

        Text {
            text: section.title
            font: LmTypography.callout
            color: LmColor.withOpacity(LmColor.foreground, 0.7)
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
    }
}
