import QtQuick 2.12
import ".."

// What a press-mode switch ended with.
TitleDialog {
    property alias text: message.text

    titleText: qsTr("Press Mode Settings")

    AlertText {
        id: message
        font.pixelSize: 16
    }
}
