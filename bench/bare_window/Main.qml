import QtQuick

Window {
    width: 420
    height: 600
    visible: true

    Text {
        text: "Lumora"
    }
}
