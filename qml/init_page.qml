import QtQuick 2.12
import QtQuick.Controls 2.12

Item {
    Rectangle {
        color: "transparent"
        anchors.fill: parent

        // Said as soon as the page shows, also when the token has just been pulled out.
        AlertText {
            id: no_key_label
            text: qsTr("No Key Detected!")
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.top
            anchors.topMargin: 30
            font.pixelSize: 20
            color: "black"
        }

        Label {
            id: guidance
            objectName: "no_key_guidance"
            text: qsTr("Plug the token in. If it is plugged in, the help tells what to do:")
            width: parent.width - 40
            wrapMode: Text.WordWrap
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: no_key_label.bottom
            anchors.topMargin: 14
            horizontalAlignment: Text.AlignHCenter
            font.pixelSize: 13
            color: "#555555"
        }

        // Opens the help at its section for a token that is plugged in but not found.
        Button {
            id: token_not_found
            objectName: "token_not_found"
            text: qsTr("Token not found?")
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: guidance.bottom
            anchors.topMargin: 4
            flat: true
            hoverEnabled: true
            font.pixelSize: 13
            font.underline: true
            Accessible.name: text
            onClicked: {
                var window = ApplicationWindow.window
                if (window && typeof window.open_help === "function")
                    window.open_help("token-not-found")
            }
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()

            contentItem: Text {
                text: token_not_found.text
                font: token_not_found.font
                color: token_not_found.palette.link
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            FocusFrame {}
        }
    }
}
