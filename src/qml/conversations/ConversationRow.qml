import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// One inbox entry: avatar, name and time, preview and the unread badge.
AbstractButton {
    id: row

    required property int index
    required property string title
    required property string preview
    required property bool hasPreview
    required property string timeText // "10:04", "Yesterday", a weekday or a date
    required property string fullTime // the whole date and time
    required property int unreadCount
    required property string peerCountryCode
    required property bool peerVerified
    required property string spokenText // the whole row, as a screen reader reads it

    // A last message without a body (an attachment only) reads "No messages yet".
    readonly property string previewText: hasPreview ? preview : qsTrId("inbox.noMessages")
    readonly property string badgeText: unreadCount >= 1 ? LmMarks.number(unreadCount) : ""

    topPadding: 6
    bottomPadding: 6
    leftPadding: 4
    rightPadding: 4
    // The list is one stop for Tab; the arrows move between its rows, which take the focus.
    focusPolicy: Qt.NoFocus
    activeFocusOnTab: false
    Accessible.role: Accessible.ListItem
    Accessible.name: spokenText
    Accessible.description: fullTime
    Accessible.onPressAction: clicked()

    contentItem: RowLayout {
        spacing: 10

        LmAvatar {
            readAloud: false // the row reads as one item
            name: row.title
            size: 40
            countryCode: row.peerCountryCode
            isVerified: row.peerVerified
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 3

            RowLayout {
                Layout.fillWidth: true
                Text {
                    text: row.title
                    font: LmTypography.headline
                    lineHeightMode: Text.FixedHeight
                    lineHeight: LmTypography.lineHeight(LmTypography.headline) // rows of one height in any script
                    color: LmColor.foreground
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    horizontalAlignment: Text.AlignLeft
                    Layout.fillWidth: true
                }
                Text {
                    text: row.timeText
                    font: LmTypography.micro
                    color: LmColor.withOpacity(LmColor.foreground, 0.45)
                    Accessible.ignored: true // read with the row
                    ToolTip.text: row.fullTime
                    ToolTip.visible: timeHover.hovered
                    ToolTip.delay: 600
                    HoverHandler { id: timeHover }
                }
            }
            RowLayout {
                Layout.fillWidth: true
                Text {
                    // One line: a multi-line body shows its lines run together.
                    text: row.previewText.replace(/[\r\n]+/g, " ")
                    font: LmTypography.caption
                    lineHeightMode: Text.FixedHeight
                    lineHeight: LmTypography.lineHeight(LmTypography.caption)
                    color: LmColor.withOpacity(LmColor.foreground, 0.6)
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    horizontalAlignment: Text.AlignLeft
                    Layout.fillWidth: true
                    Accessible.ignored: true
                }
                Rectangle {
                    id: badge
                    visible: row.unreadCount >= 1
                    color: LmColor.copper
                    radius: height / 2
                    implicitWidth: Math.max(badgeLabel.implicitWidth + 12, implicitHeight)
                    implicitHeight: badgeLabel.implicitHeight + 4

                    Text {
                        id: badgeLabel
                        anchors.centerIn: parent
                        text: row.badgeText
                        font: LmTypography.micro
                        color: "white"
                        Accessible.ignored: true
                    }
                }
            }
        }
    }

    background: Rectangle {
        radius: 8
        color: LmColor.withOpacity(LmColor.foreground, row.down ? 0.08 : row.hovered ? 0.04 : 0)
        LmFocusRing {
            anchors.margins: 1 // inside the list's margins, so it is never cut off
            radius: 8
            shown: row.activeFocus
        }
    }
}
