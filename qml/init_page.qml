import QtQuick 2.12
import QtQuick.Controls 2.12

Item {
    Rectangle {
        color: "transparent"
        anchors.fill: parent

        Label {
            id: no_key_label
            text: "No Key Detected!"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.top
            anchors.topMargin: 30
            font.pixelSize: 20
            color: "black"
        }

        Label {
            objectName: "no_key_guidance"
            text: "Plug the token in. If it is plugged in, see \"Token not found?\" in the help (Help \u2192 Online Help, or F1)."
            width: parent.width - 40
            wrapMode: Text.WordWrap
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: no_key_label.bottom
            anchors.topMargin: 14
            horizontalAlignment: Text.AlignHCenter
            font.pixelSize: 13
            color: "#555555"
        }
    }
}
