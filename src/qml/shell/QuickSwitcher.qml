import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// Ctrl+K: type part of a conversation's title, Up and Down to choose, Return to open it, Escape to
// close. The keyboard stays in the field; the chosen conversation is its accessible description.
Popup {
    id: switcher

    readonly property ConversationSwitcher results: AppState.switcher
    readonly property alias field: field
    readonly property alias list: list

    modal: true
    focus: true
    x: 16
    y: 56
    width: parent ? parent.width - 32 : 360
    padding: 8
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    onAboutToShow: {
        field.text = ""
        list.currentIndex = 0
    }
    onOpened: field.forceActiveFocus()

    function openCurrent() {
        const row = results.inboxRow(list.currentIndex)
        if (row < 0)
            return
        close()
        AppState.openConversationAt(row)
    }

    background: Rectangle {
        radius: 10
        color: LmColor.background
        border.width: 1
        border.color: LmColor.divider
    }

    contentItem: ColumnLayout {
        spacing: 6

        TextField {
            id: field
            Layout.fillWidth: true
            font: LmTypography.body
            color: LmColor.foreground
            placeholderText: qsTrId("switcher.field")
            placeholderTextColor: LmColor.withOpacity(LmColor.foreground, 0.4)
            horizontalAlignment: TextInput.AlignLeft
            Accessible.name: qsTrId("switcher.field")
            Accessible.description: list.currentItem ? list.currentItem.title : qsTrId("switcher.none")
            onTextChanged: {
                switcher.results.filterText = text
                list.currentIndex = 0
            }
            Keys.onUpPressed: list.decrementCurrentIndex()
            Keys.onDownPressed: list.incrementCurrentIndex()
            Keys.onReturnPressed: switcher.openCurrent()
            Keys.onEnterPressed: switcher.openCurrent()
        }

        Text {
            visible: switcher.results.count === 0
            text: qsTrId("switcher.none")
            font: LmTypography.caption
            color: LmColor.withOpacity(LmColor.foreground, 0.6)
            Layout.fillWidth: true
            Layout.margins: 6
            horizontalAlignment: Text.AlignLeft
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Accessible.ignored: !visible
        }

        ListView {
            id: list
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(contentHeight, 280)
            clip: true
            model: switcher.results
            highlightMoveDuration: 0
            Accessible.role: Accessible.List
            Accessible.name: qsTrId("switcher.field")
            delegate: AbstractButton {
                required property int index
                required property string title
                width: ListView.view.width
                focusPolicy: Qt.NoFocus
                padding: 8
                Accessible.role: Accessible.ListItem
                Accessible.name: title
                onClicked: {
                    list.currentIndex = index
                    switcher.openCurrent()
                }
                contentItem: Text {
                    text: parent.title
                    font: LmTypography.body
                    color: LmColor.foreground
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignLeft
                }
                background: Rectangle {
                    radius: 6
                    color: parent.ListView.isCurrentItem ? LmColor.withOpacity(LmColor.accent, 0.14) : "transparent"
                }
            }
        }
    }
}
