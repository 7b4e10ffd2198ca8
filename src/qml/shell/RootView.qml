import QtQuick
import Lumora.Design
import Lumora.State
import Lumora.Account
import Lumora.Conversations

// Shows exactly one of: restoring, sign-in, forced password change, the signed-in shell; follows
// the session live. Also mirrors the whole interface for right-to-left languages.
Item {
    id: root

    readonly property string screen: AppState.auth.isRestoringSession ? "restoring"
                                     : !AppState.auth.isAuthenticated ? "login"
                                     : AppState.auth.mustChangePassword ? "changePassword"
                                     : "shell"
    readonly property alias content: loader.item

    LayoutMirroring.enabled: AppState.language.layoutDirection === Qt.RightToLeft
    LayoutMirroring.childrenInherit: true

    Rectangle {
        anchors.fill: parent
        color: LmColor.background
    }

    Loader {
        id: loader
        anchors.fill: parent
        sourceComponent: {
            switch (root.screen) {
            case "restoring": return restoringView
            case "login": return loginView
            case "changePassword": return changePasswordView
            default: return shellView
            }
        }
    }

    Component { id: restoringView; RestoringView {} }
    Component { id: loginView; LoginView {} }
    Component {
        id: changePasswordView
        ChangePasswordView { isRequired: true }
    }
    Component { id: shellView; MainShellView {} }
}
