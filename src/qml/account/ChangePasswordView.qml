import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// The current password and a new one, twice. Forced (`isRequired`) in place of the shell, or as a
// sheet over the profile, where cancel closes it.
Rectangle {
    id: view

    property bool isRequired: false
    property string currentPassword
    property string newPassword
    property string confirmPassword
    property bool isLoading: false
    property string localError
    // Counted as a person counts characters: eight emoji are eight characters.
    readonly property bool canSubmit: currentPassword !== "" && LmMarks.characterCount(newPassword) >= 8
    readonly property alias submitButton: submitButton
    readonly property alias cancelButton: cancelButton

    signal cancelled()

    // The keyboard starts in the first field: at once when forced, when the sheet opens otherwise.
    function focusFirstField() { currentField.input.forceActiveFocus() }
    Component.onCompleted: if (isRequired) focusFirstField()
    Keys.onEscapePressed: if (!isRequired) cancelled() // Return submits, from any field

    function submit() {
        localError = ""
        if (newPassword !== confirmPassword) {
            localError = qsTrId("password.mismatch") // nothing is sent
            return
        }
        isLoading = true
        AppState.auth.startChangePassword(currentPassword, newPassword)
    }

    color: LmColor.background

    Connections {
        target: AppState.auth
        function onPasswordChangeFinished() { view.isLoading = false }
    }

    Flickable {
        anchors.fill: parent
        contentHeight: column.implicitHeight + 40
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        ColumnLayout {
            id: column
            x: 20
            y: 20
            width: parent.width - 40
            spacing: 16

            ColumnLayout {
                spacing: 6
                Layout.fillWidth: true

                Text {
                    text: qsTrId("password.title")
                    font: LmTypography.title
                    color: LmColor.foreground
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignLeft
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    visible: view.isRequired
                    text: qsTrId("password.required")
                    font: LmTypography.body
                    color: LmColor.copper
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    horizontalAlignment: Text.AlignLeft
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }

            LmTextField {
                title: qsTrId("password.current")
                text: view.currentPassword
                onTextChanged: view.currentPassword = text
                isSecure: true
                onAccepted: if (submitButton.enabled) view.submit()
                id: currentField
            }
            LmTextField {
                title: qsTrId("password.new")
                text: view.newPassword
                onTextChanged: view.newPassword = text
                isSecure: true
                onAccepted: if (submitButton.enabled) view.submit()
            }
            LmTextField {
                title: qsTrId("password.confirm")
                text: view.confirmPassword
                onTextChanged: view.confirmPassword = text
                isSecure: true
                onAccepted: if (submitButton.enabled) view.submit()
            }
            ErrorLine { text: view.localError }
            ErrorLine { text: AppState.auth.lastError }

            LmButton {
                id: submitButton
                title: qsTrId("password.submit")
                style: "primary"
                isLoading: view.isLoading
                isDisabled: !view.canSubmit
                onClicked: view.submit()
            }
            LmButton {
                id: cancelButton
                visible: !view.isRequired
                title: qsTrId("common.cancel")
                style: "ghost"
                onClicked: view.cancelled()
            }
        }
    }

    component ErrorLine: Text {
        visible: text !== ""
        font: LmTypography.caption
        color: LmColor.copper
        wrapMode: Text.Wrap
        Layout.fillWidth: true
        horizontalAlignment: Text.AlignLeft
        Accessible.role: Accessible.AlertMessage
        Accessible.name: text
    }
}
