import QtQuick 2.12
import QtQuick.Controls 2.12

// A menu entry with its key at the right, as the desktop writes it ("Strg+Q" in German).
MenuItem {
    id: entry

    property string shortcut_text: ""

    Accessible.name: text
    Accessible.description: shortcut_text

    contentItem: Item {
        implicitWidth: label.implicitWidth + (entry.shortcut_text !== "" ? key.implicitWidth + 24 : 0)
        implicitHeight: label.implicitHeight

        Text {
            id: label
            text: entry.text
            font: entry.font
            color: entry.palette.windowText
            anchors.left: parent.left
            anchors.verticalCenter: parent.verticalCenter
            Accessible.ignored: true
        }

        Text {
            id: key
            objectName: "shortcut_text"
            text: entry.shortcut_text
            font: entry.font
            color: entry.palette.windowText
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            Accessible.ignored: true
        }
    }
}
