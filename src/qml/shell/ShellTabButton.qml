import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State
import Lumora.Account
import Lumora.Conversations

// A TabButton, so assistive technology reads it as a page tab; the shell decides which is selected.
TabButton {
    id: button

    property string title
    property string iconName
    property bool selected: false
    property color tint: selected ? LmColor.accent : LmColor.withOpacity(LmColor.foreground, 0.55)

    Layout.fillWidth: true
    Layout.preferredWidth: 1
    topPadding: 6
    bottomPadding: 6
    checkable: false
    checked: selected
    Accessible.role: Accessible.PageTab
    Accessible.name: title
    Accessible.selected: selected

    Behavior on tint { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }

    contentItem: Column {
        spacing: 2

        LmIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: button.iconName
            color: button.tint
            size: 18
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: button.title
            font: LmTypography.micro
            // One Latin line high in every language, so the tab bar keeps its height in Arabic.
            lineHeightMode: Text.FixedHeight
            lineHeight: LmTypography.lineHeight(LmTypography.micro)
            color: button.tint
        }
    }

    background: Rectangle {
        radius: 8
        color: button.selected ? LmColor.withOpacity(LmColor.accent, 0.12) : "transparent"
        Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }
        LmFocusRing { shown: button.visualFocus }
    }
}
