import QtQuick 2.12

// The keyboard focus of a flat control, which draws no focus frame of the style's. The control's
// visualFocus alone is not enough: it holds only while the last focus change came from the
// keyboard, so a click, or the focus handed back when a dialog reopens, hides it, and where the
// control is the only stop of the Tab chain Tab cannot move the focus to bring it back. A key
// pressed on the control therefore shows the frame too, until the focus leaves or a pointer presses.
Rectangle {
    id: frame

    readonly property Item control: parent
    property bool keyboard_used: false

    objectName: "focus_frame"
    anchors.fill: parent
    color: "transparent"
    border.width: 2
    border.color: control.palette.highlight
    visible: control.activeFocus && (control.visualFocus || keyboard_used)

    // A Connections whose target is the control's Keys would take the control's own pressed signal.
    Component.onCompleted: control.Keys.pressed.connect(function() { frame.keyboard_used = true })

    Connections {
        target: frame.control

        function onActiveFocusChanged() {
            if (!frame.control.activeFocus)
                frame.keyboard_used = false
        }
    }

    PointHandler {
        onActiveChanged: {
            if (active)
                frame.keyboard_used = false
        }
    }
}
