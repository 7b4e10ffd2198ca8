import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Lumora.Design
import Lumora.State

// The signed-in user: who they are, the editable fields, save, the password sheet, sign out.
Flickable {
    id: profile

    property string displayName
    property string email
    property string bio
    property string countryCode
    property bool isSaving: false
    property string statusMessage
    property bool statusIsError: false
    property bool showChangePassword: false
    readonly property alias saveButton: saveButton
    readonly property alias passwordSheet: passwordSheet

    // Each appearance starts from the record as it stands.
    function fill() {
        if (!AppState.auth.hasCurrentUser)
            return
        displayName = AppState.auth.displayNameField
        email = AppState.auth.email
        bio = AppState.auth.bio
        countryCode = AppState.auth.countryCode
    }

    function save() {
        isSaving = true
        AppState.auth.startProfileSave(displayName, email, bio, countryCode)
    }

    Component.onCompleted: fill()

    Connections {
        target: AppState.auth
        // A failed save leaves the record (and so the header) as it was; the edits stay in the fields.
        function onProfileSaveFinished(saved, message) {
            profile.isSaving = false
            profile.statusMessage = message
            profile.statusIsError = !saved
        }
    }

    contentHeight: column.implicitHeight + 32
    clip: true
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.vertical: ScrollBar {}

    ColumnLayout {
        id: column
        visible: AppState.auth.hasCurrentUser
        x: 16
        y: 16
        width: profile.width - 32
        spacing: 16

        RowLayout {
            spacing: 12
            Layout.fillWidth: true

            LmAvatar {
                name: AppState.auth.displayName
                size: 56
                countryCode: AppState.auth.countryCode
                isVerified: AppState.auth.verified
            }
            ColumnLayout {
                spacing: 4
                Layout.fillWidth: true

                RowLayout {
                    spacing: 6
                    Text {
                        text: AppState.auth.displayName
                        font: LmTypography.title
                        color: LmColor.foreground
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                    }
                    VerifiedBadge {
                        visible: AppState.auth.verified
                        size: 14
                    }
                }
                Text {
                    text: qsTrId("@%1").arg(AppState.auth.username)
                    font: LmTypography.caption
                    color: LmColor.withOpacity(LmColor.foreground, 0.55)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Text {
                    text: AppState.auth.roleName.toUpperCase()
                    font: LmTypography.micro
                    color: LmColor.accent
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        LmDivider {}

        LmTextField {
            title: qsTrId("profile.displayName")
            text: profile.displayName
            onTextChanged: profile.displayName = text
        }
        LmTextField {
            title: qsTrId("profile.email")
            text: profile.email
            onTextChanged: profile.email = text
        }
        LmTextField {
            title: qsTrId("profile.bio")
            text: profile.bio
            onTextChanged: profile.bio = text
        }
        LmTextField {
            title: qsTrId("profile.countryCode")
            text: profile.countryCode
            onTextChanged: profile.countryCode = text
            prompt: "SA"
        }
        RowLayout {
            id: flagRow
            visible: profile.countryCode !== ""
            spacing: 8

            CountryFlagView {
                countryCode: profile.countryCode
                size: 20
            }
            Text {
                text: profile.countryCode.toUpperCase()
                font: LmTypography.caption
                color: LmColor.foreground
            }
        }
        Text {
            id: statusLine
            visible: profile.statusMessage !== ""
            text: profile.statusMessage
            font: LmTypography.caption
            color: profile.statusIsError ? LmColor.copper : LmColor.accent
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignLeft
            Accessible.role: profile.statusIsError ? Accessible.AlertMessage : Accessible.StaticText
            Accessible.name: text
        }
        LmButton {
            id: saveButton
            title: qsTrId("profile.save")
            style: "primary"
            isLoading: profile.isSaving
            onClicked: profile.save()
        }
        LmButton {
            title: qsTrId("password.title")
            style: "secondary"
            onClicked: profile.showChangePassword = true
        }
        LmButton {
            title: qsTrId("profile.signOut")
            style: "destructive"
            onClicked: AppState.auth.startLogout()
        }
    }

    // The voluntary password change, as a 360 × 360 sheet over the panel.
    Popup {
        id: passwordSheet
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: 360
        height: 360
        modal: true
        padding: 0
        visible: profile.showChangePassword
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
        onClosed: profile.showChangePassword = false
        onOpened: sheetView.focusFirstField()

        contentItem: ChangePasswordView {
            id: sheetView
            onCancelled: profile.showChangePassword = false
        }
    }
}
