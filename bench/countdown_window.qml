import QtQuick 2.12
import QtQuick.Window 2.12
import QtQuick.Controls 2.12
import QtGraphicalEffects 1.12

// The minimal window with the one thing Larkmoor's page must keep changing: a countdown of the
// seconds left, on the same 600 ms tick. Its idle CPU is the floor for a live code.
ApplicationWindow {
    visible: true
    width: 320
    height: 325
    title: "Countdown"

    Label {
        id: label
        anchors.centerIn: parent
        text: "123 456"
        font.pixelSize: 40
        layer.enabled: true
        layer.effect: DropShadow {
            transparentBorder: true
            horizontalOffset: 3
            verticalOffset: 3
            color: "#aa000000"
        }
    }

    Label {
        property int remain: 0
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: label.bottom
        anchors.topMargin: 15
        text: remain + " seconds left"
        font.pixelSize: 18

        Timer {
            interval: 600
            repeat: true
            running: true
            triggeredOnStart: true
            onTriggered: parent.remain = 30 - Date.now() / 1000 % 30
        }
    }
}
