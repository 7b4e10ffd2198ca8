import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// The conversations in the model's order; choosing one emits `select` with its row.
ColumnLayout {
    id: inbox

    property InboxViewModel model: AppState.inbox
    readonly property bool showsSpinner: model !== null && model.isLoading && model.count === 0
    readonly property alias list: list

    signal select(int row)

    spacing: 0

    // Every appearance loads it, and puts the keyboard in the list.
    Component.onCompleted: {
        model.startLoad()
        list.forceActiveFocus()
    }

    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 14
        Layout.rightMargin: 14
        Layout.topMargin: 10
        Layout.bottomMargin: 10

        Text {
            text: qsTrId("inbox.title")
            font: LmTypography.headline
            color: LmColor.foreground
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Item { Layout.fillWidth: true }
        AbstractButton {
            id: refreshButton
            Accessible.role: Accessible.Button
            Accessible.name: qsTrId("inbox.refresh")
            onClicked: if (inbox.model) inbox.model.startLoad()
            contentItem: LmIcon {
                name: "arrow.clockwise"
                color: LmColor.accent
                size: 16
            }
            LmFocusRing { shown: refreshButton.visualFocus }
        }
    }

    LmDivider {}

    Item {
        Layout.fillWidth: true
        Layout.fillHeight: true

        BusyIndicator {
            anchors.centerIn: parent
            visible: inbox.showsSpinner
            running: visible
            Accessible.role: Accessible.ProgressBar // Qt 6.4 gives a spinner no role: readers skip it
            Accessible.name: qsTrId("a11y.busy")
            Accessible.ignored: !visible
        }

        ColumnLayout {
            anchors.fill: parent
            visible: !inbox.showsSpinner
            spacing: 0

            Text {
                visible: inbox.model !== null && inbox.model.errorMessage !== ""
                text: inbox.model ? inbox.model.errorMessage : ""
                font: LmTypography.caption
                color: LmColor.copper
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignLeft
                Layout.fillWidth: true
                Layout.margins: 12
                Accessible.role: Accessible.AlertMessage
                Accessible.name: text
            }

            ListView {
                id: list
                objectName: "inboxList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                reuseItems: true
                leftMargin: 10
                rightMargin: 10
                model: inbox.model
                boundsBehavior: Flickable.StopAtBounds
                Accessible.role: Accessible.List
                Accessible.name: qsTrId("inbox.title")
                ScrollBar.vertical: ScrollBar {}
                // One stop for Tab; Up and Down (the view's own), Home, End, Return, and typing a
                // title's first letters move and open. The current row takes the focus, so readers
                // hear it, and stays in view.
                activeFocusOnTab: true
                keyNavigationEnabled: true
                highlightMoveDuration: 0
                onCountChanged: if (currentIndex < 0 && count > 0) currentIndex = 0 // a new list keeps a current row
                property string typed: ""

                Keys.onPressed: (event) => {
                    if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                        currentIndex = event.key === Qt.Key_Home ? 0 : count - 1
                    } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                        if (currentIndex >= 0)
                            inbox.select(currentIndex)
                    } else if (event.text.length === 1 && event.text.trim() !== ""
                               && !(event.modifiers & (Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier))) {
                        // Letters typed in quick succession search together ("om" for Omar).
                        typed = typingPause.running ? typed + event.text : event.text
                        typingPause.restart()
                        const from = typed.length > 1 ? currentIndex - 1 : currentIndex
                        const row = inbox.model ? inbox.model.nextStartingWith(typed, from) : -1
                        if (row >= 0)
                            currentIndex = row
                    } else {
                        return
                    }
                    event.accepted = true
                }
                Timer { id: typingPause; interval: 800 }

                delegate: ConversationRow {
                    width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
                    onClicked: inbox.select(index)
                }
            }
        }
    }
}
