import QtQuick
import Lumora.Design

// A disc with the person's initials; a flag at the lower trailing corner and a verified seal at the
// upper trailing corner when given. The 2-point shifts are plain x/y shifts in either direction.
Item {
    id: avatar

    property string name
    property real size: 36
    property string countryCode
    property bool isVerified: false
    // False where the avatar is part of an item read as one (an inbox row): it then adds nothing.
    property bool readAloud: true
    readonly property real initialsSize: size * 0.36
    readonly property real flagSize: size * 0.38
    readonly property real badgeSize: size * 0.32

    // Whether the layout is mirrored here, inherited or not (a Row reports its effective direction).
    readonly property bool mirrored: directionProbe.effectiveLayoutDirection === Qt.RightToLeft

    implicitWidth: size
    implicitHeight: size
    Accessible.ignored: !readAloud
    Accessible.role: Accessible.Graphic
    Accessible.name: name

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: LmColor.withOpacity(LmColor.accent, 0.18)

        Text {
            anchors.centerIn: parent
            text: LmMarks.initials(avatar.name)
            // Fonts load at whole pixel sizes only; the scale keeps the fraction (14.4 at size 40).
            font: LmTypography.font(Math.max(1, Math.floor(avatar.initialsSize)), Font.DemiBold)
            scale: avatar.initialsSize / Math.max(1, Math.floor(avatar.initialsSize))
            color: LmColor.accent
        }
    }

    CountryFlagView {
        id: flag
        visible: avatar.countryCode !== ""
        countryCode: avatar.countryCode
        Accessible.ignored: !avatar.readAloud || !visible
        size: avatar.flagSize
        x: (avatar.mirrored ? 0 : avatar.size - width) + 2
        y: avatar.size - height + 2
    }

    VerifiedBadge {
        id: badge
        visible: avatar.isVerified
        Accessible.ignored: !avatar.readAloud || !visible
        size: avatar.badgeSize
        x: (avatar.mirrored ? 0 : avatar.size - width) + 2
        y: -2
    }

    Row { id: directionProbe; visible: false }
}
