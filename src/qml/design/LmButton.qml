import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design

// The push button in four styles: primary, secondary, destructive, ghost.
Button {
    id: control

    property string title
    property string style: "primary"
    property bool isLoading: false
    property bool isDisabled: false

    readonly property bool outlined: style === "secondary" || style === "ghost"
    readonly property color fill: style === "primary" ? LmColor.accent
                                  : style === "destructive" ? LmColor.withOpacity(LmColor.copper, 0.92)
                                  : "transparent"
    readonly property color foreground: style === "primary" || style === "destructive"
                                        ? "white" : LmColor.foreground

    enabled: !isDisabled && !isLoading
    opacity: enabled ? 1.0 : 0.55
    text: title
    font: LmTypography.callout
    Layout.fillWidth: true
    topPadding: 8
    bottomPadding: 8
    leftPadding: 12
    rightPadding: 12
    Accessible.name: title
    // Qt 6.4 reports a disabled button to AT-SPI as enabled: the description says it instead.
    Accessible.description: enabled ? "" : qsTrId("a11y.unavailable")

    contentItem: Item {
        implicitWidth: row.implicitWidth
        implicitHeight: Math.max(LmTypography.lineHeight(control.font), 16) // whatever script the title is in

        Row {
            id: row
            anchors.centerIn: parent
            spacing: 8

            BusyIndicator {
                id: spinner
                visible: control.isLoading
                running: visible
                Accessible.role: Accessible.ProgressBar // Qt 6.4 gives a spinner no role: readers skip it
                Accessible.name: qsTrId("a11y.busy")
                Accessible.ignored: !visible
                width: 16
                height: 16
                padding: 0
                anchors.verticalCenter: parent.verticalCenter
                palette.dark: control.foreground
            }
            Text {
                text: control.title
                font: control.font
                color: control.foreground
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }

    background: Rectangle {
        radius: 8
        color: control.fill
        border.width: control.outlined ? 1 : 0
        border.color: LmColor.divider

        // The press feedback: a faint shade over whatever the fill is.
        Rectangle {
            anchors.fill: parent
            radius: parent.radius
            color: "black"
            opacity: control.down ? 0.08 : 0
        }
        LmFocusRing { shown: control.visualFocus }
    }
}
