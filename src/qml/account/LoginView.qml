import QtQuick
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// Sign-in, pre-filled with the reference service's demo account.
ColumnLayout {
    id: login

    property string username: "amina"
    property string password: "sunshine123"
    property bool isLoading: false
    readonly property alias signInButton: signInButton

    // Spaces and tabs around the name are dropped; line breaks and the password stay as typed.
    function trimmedUsername() { return username.replace(/^[ \t]+|[ \t]+$/g, "") }

    function signIn() {
        isLoading = true
        AppState.auth.startLogin(trimmedUsername(), password)
    }

    spacing: 0

    Connections {
        target: AppState.auth
        function onLoginFinished() { login.isLoading = false }
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.margins: 20
        spacing: 8

        Text {
            text: qsTrId("Lumora")
            font: LmTypography.brandDisplay
            color: LmColor.accent
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Text {
            text: qsTrId("login.subtitle")
            font: LmTypography.body
            color: LmColor.withOpacity(LmColor.foreground, 0.65)
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    LmDivider {}

    ColumnLayout {
        Layout.fillWidth: true
        Layout.margins: 20
        spacing: 14

        LmTextField {
            id: usernameField
            title: qsTrId("login.username")
            text: login.username
            onTextChanged: login.username = text
            prompt: "amina"
            onAccepted: passwordField.input.forceActiveFocus()
            Component.onCompleted: input.forceActiveFocus() // the keyboard starts where the form does
        }
        LmTextField {
            id: passwordField
            title: qsTrId("login.password")
            text: login.password
            onTextChanged: login.password = text
            isSecure: true
            onAccepted: if (signInButton.enabled) login.signIn() // Return signs in, as the button does
        }
        Text {
            id: errorLine
            visible: AppState.auth.lastError !== ""
            text: AppState.auth.lastError
            font: LmTypography.caption
            color: LmColor.copper
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            Accessible.role: Accessible.AlertMessage
            Accessible.name: text
        }
        LmButton {
            id: signInButton
            title: qsTrId("login.signIn")
            style: "primary"
            isLoading: login.isLoading
            isDisabled: login.username === "" || login.password === ""
            onClicked: login.signIn()
        }
        Text {
            text: qsTrId("login.apiHint") + " " + AppState.serviceBaseURL()
            font: LmTypography.micro
            color: LmColor.withOpacity(LmColor.foreground, 0.45)
            wrapMode: Text.WrapAnywhere
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    Item { Layout.fillHeight: true }
}
