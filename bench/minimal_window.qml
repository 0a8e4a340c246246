import QtQuick 2.12
import QtQuick.Window 2.12
import QtQuick.Controls 2.12
import QtGraphicalEffects 1.12

// The yardstick for Larkmoor's own window: the least a Qt Quick Controls 2 window with a
// drop shadow costs on this machine.
ApplicationWindow {
    visible: true
    width: 320
    height: 325
    title: "Minimal"

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
}
