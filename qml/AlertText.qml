import QtQuick 2.12

// A message that appears by itself, which a screen reader says at once: Orca speaks a
// notification the moment it shows (an alert only as a window of its own). The role sits on
// this item: Qt reports every Text item as static text, whatever role it is given.
Item {
    property alias text: message.text
    property alias font: message.font
    property alias color: message.color
    property alias horizontalAlignment: message.horizontalAlignment

    implicitWidth: message.implicitWidth
    implicitHeight: message.implicitHeight
    Accessible.role: Accessible.Notification
    Accessible.name: message.text

    Text {
        id: message
        anchors.fill: parent
        Accessible.ignored: true
    }
}
