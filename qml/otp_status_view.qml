import QtQuick 2.12
import QtQuick.Controls 2.12

Item {
    id: otp_page

    // The model can be withdrawn (set to null) a moment before the page itself is replaced.
    function has_otp_status() {
        return typeof otp_status !== "undefined" && otp_status !== null
    }

    function current_otp() {
        return has_otp_status() ? otp_status.otp : 0
    }

    function pad(str, width, delimer) {
        var text = String(str)
        while (text.length < width)
            text = "0" + text
        var half = Math.floor(width / 2)
        return text.slice(0, half) + delimer + text.slice(half)
    }

    function time_changed() {
        time_changed_at(Date.now() / 1000)
    }

    // One refresh tick at the given time in seconds since the epoch.
    function time_changed_at(now_seconds) {
        if (!has_otp_status())
            return
        var step = otp_status.step
        if (step > 0) {
            bar_left_time.remain = step - now_seconds % step
            if (bar_left_time.remain < 1.3)
                otp_status.otp = 0
        }
        otp_status.response_time_changed()
    }

    // Button and Ctrl+C copy the same thing: exactly the code on screen, and only while one is.
    function copy_code() {
        if (typeof main_frame === "undefined" || main_frame === null || current_otp() === 0)
            return false
        main_frame.copy_to_clipboard(pad(otp_status.otp, otp_status.digits, ""))
        copied_note.visible = true
        copied_note_timer.restart()
        return true
    }

    function disable_otp_timer() {
        otp_timer.stop()
    }

    function enable_otp_timer() {
        otp_timer.start()
    }

    Rectangle {
        color: "transparent"
        anchors.fill: parent
        anchors.margins: 10

        // The label's drop shadow (colour #aa000000, offset 3, 3): a pre-blurred image that every
        // scene graph draws, the software one included, and that is not redrawn with the countdown.
        // The image's borders hold the blur; 30 is its margin around the shadow's own rectangle.
        BorderImage {
            source: "pic/shadow.png"
            border { left: 46; top: 46; right: 46; bottom: 46 }
            anchors.fill: otp_value_bar
            anchors.leftMargin: 3 - 30
            anchors.topMargin: 3 - 30
            anchors.rightMargin: -3 - 30
            anchors.bottomMargin: -3 - 30
        }

        Label {
            id: otp_value_bar
            objectName: "otp_value_bar"
            text: otp_page.current_otp() === 0 ? "" : otp_page.pad(otp_status.otp, otp_status.digits, " ")
            anchors.horizontalCenter: parent.horizontalCenter
            horizontalAlignment: Text.AlignHCenter
            anchors.top: parent.top
            anchors.topMargin: 35
            width: otp_page.current_otp() === 0 ? 200 : implicitWidth
            leftPadding: 10
            rightPadding: 10
            font.pixelSize: 40
            color: "black"
            background: Rectangle {
                color: "lightgray"
            }
        }

        Button {
            id: btn_copy
            objectName: "btn_copy"
            visible: otp_page.current_otp() !== 0
            width: 25
            height: 25
            anchors.left: otp_value_bar.right
            anchors.leftMargin: 12
            anchors.verticalCenter: otp_value_bar.verticalCenter
            hoverEnabled: true
            flat: true
            onHoveredChanged: flat = !hovered
            onClicked: otp_page.copy_code()
            Keys.onReturnPressed: otp_page.copy_code()
            Keys.onEnterPressed: otp_page.copy_code()

            Image {
                source: "pic/clipboard-copy.png"
                anchors.fill: parent
                fillMode: Image.PreserveAspectFit
                // Decoded at the size it is shown (twice that, for dense screens), not 512 x 512.
                sourceSize: Qt.size(2 * width, 2 * height)
            }

            // A flat button draws no background, and with it no focus frame of the style's.
            Rectangle {
                objectName: "focus_frame"
                anchors.fill: parent
                color: "transparent"
                border.width: 2
                border.color: btn_copy.palette.highlight
                visible: btn_copy.visualFocus
            }
        }

        // Above the code, where nothing else is drawn, so the layout does not move.
        Label {
            id: copied_note
            objectName: "copied_note"
            text: "Copied"
            visible: false
            anchors.horizontalCenter: otp_value_bar.horizontalCenter
            anchors.bottom: otp_value_bar.top
            anchors.bottomMargin: 6
            font.pixelSize: 14
            color: "#2e7d32"
        }

        Timer {
            id: copied_note_timer
            interval: 1500
            onTriggered: copied_note.visible = false
        }

        Label {
            id: bar_left_time
            objectName: "bar_left_time"
            property int remain: 0
            text: otp_page.current_otp() === 0 ? "" : remain + " seconds left"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: otp_value_bar.bottom
            anchors.topMargin: 15
            font.pixelSize: 18
            color: "black"
        }

        Label {
            id: bar_information
            objectName: "bar_information"
            text: otp_page.current_otp() === 0 && otp_page.has_otp_status() ? otp_status.err_msg : ""
            anchors.horizontalCenter: parent.horizontalCenter
            horizontalAlignment: Text.AlignHCenter
            anchors.top: otp_value_bar.bottom
            anchors.topMargin: 15
            font.pixelSize: 18
            color: "red"
        }
    }

    Shortcut {
        // Copy has several keys on some desktops (Ctrl+C, Ctrl+Insert, the Copy key): all of them.
        sequences: [StandardKey.Copy]
        enabled: otp_page.current_otp() !== 0
        onActivated: otp_page.copy_code()
    }

    Timer {
        id: otp_timer
        objectName: "otp_timer"
        interval: 600
        repeat: true
        running: true
        // The first code is asked for as soon as the page appears, not a tick later.
        triggeredOnStart: true
        onTriggered: otp_page.time_changed()
    }
}
