import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Window 2.12

// A scope, so that the focus the page takes when it is shown reaches the code box.
FocusScope {
    id: otp_page

    StackView.onActivated: forceActiveFocus()
    // A filler, which a screen reader passes over, also for the moment it holds the keyboard below.
    Accessible.ignored: true

    // The code box took the keyboard before the window had the focus, which a screen reader is
    // never told: when the window gets it, the box gives the keyboard up and takes it again, a
    // change that is announced (taking it while it has it is none).
    Connections {
        target: otp_page.Window.window

        function onActiveChanged() {
            if (otp_page.Window.active && otp_value_bar.activeFocus) {
                otp_value_bar.focus = false
                otp_value_bar.forceActiveFocus()
            }
        }
    }

    // The model can be withdrawn (set to null) a moment before the page itself is replaced.
    function has_otp_status() {
        return typeof otp_status !== "undefined" && otp_status !== null
    }

    function code_shown() {
        return has_otp_status() && otp_status.code_shown
    }

    // The code as the model pads it, its halves apart, the shorter first.
    function grouped(code) {
        var half = Math.floor(code.length / 2)
        return code.slice(0, half) + " " + code.slice(half)
    }

    function time_changed() {
        if (has_otp_status())
            otp_status.response_time_changed()
    }

    // What the code box says: the code, or while there is none, when the next one comes.
    function box_text() {
        if (code_shown())
            return grouped(otp_status.code_text)
        if (has_otp_status() && otp_status.next_code_in > 0)
            return qsTr("Next code in %n second(s)", "", otp_status.next_code_in)
        return ""
    }

    function countdown_text() {
        return code_shown() ? qsTr("%n second(s) left", "", otp_status.seconds_left) : ""
    }

    function message_text() {
        return !code_shown() && has_otp_status() ? otp_status.err_msg : ""
    }

    // All the page says, for a screen reader, in one sentence.
    function spoken_text() {
        if (code_shown())
            return qsTr("Code %1, %2").arg(grouped(otp_status.code_text)).arg(countdown_text())
        if (message_text() !== "")
            return message_text().replace(/\n/g, " ")
        if (has_otp_status() && otp_status.next_code_in > 0)
            return qsTr("No code yet: next code in %n second(s)", "", otp_status.next_code_in)
        return qsTr("Reading the code\u2026")
    }

    // Button, Space and Ctrl+C copy the same thing: the code on screen, and only while the
    // model, asked at the moment of the key, still allows it.
    function copy_code() {
        if (typeof main_frame === "undefined" || main_frame === null || !main_frame.copy_code())
            return false
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
        FontMetrics {
            id: code_font
            font.pixelSize: 40
        }

        BorderImage {
            source: "pic/shadow.png"
            border { left: 46; top: 46; right: 46; bottom: 46 }
            anchors.fill: otp_value_bar
            anchors.leftMargin: 3 - 30
            anchors.topMargin: 3 - 30
            anchors.rightMargin: -3 - 30
            anchors.bottomMargin: -3 - 30
        }

        // The code and its seconds are one item for the keyboard and for screen readers: the
        // page's first Tab stop, which keeps the focus while codes come and go.
        // A button to a screen reader, which reports any Text item as a label: pressed, it copies.
        AbstractButton {
            id: otp_value_bar
            objectName: "otp_value_bar"
            // Set by the first key that reaches it: from then on its focus is shown, whatever
            // the mouse does, since Tab has nowhere else on this page to move it.
            property bool keyboard_used: false
            text: otp_page.box_text()
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.top
            anchors.topMargin: 35
            width: otp_page.code_shown() ? implicitWidth : Math.max(200, implicitWidth)
            leftPadding: 10
            rightPadding: 10
            font.pixelSize: otp_page.code_shown() ? 40 : 16
            // As high without a code as with one, so nothing below it moves.
            height: code_font.height
            // What a screen reader says while the token is read is shown too, not an empty box.
            contentItem: Text {
                readonly property string reading: qsTr("Reading the code\u2026")
                text: otp_value_bar.text === "" && otp_page.spoken_text() === reading ? reading : otp_value_bar.text
                font: otp_value_bar.font
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                color: otp_page.code_shown() ? "black" : "#555555"
            }
            background: Rectangle {
                color: "lightgray"
                border.width: 2
                border.color: otp_value_bar.activeFocus && otp_value_bar.keyboard_used
                              ? otp_value_bar.palette.highlight : "lightgray"
            }
            focus: true
            activeFocusOnTab: true
            Keys.onPressed: {
                keyboard_used = true
                event.accepted = false
            }
            Keys.onSpacePressed: otp_page.copy_code()
            Keys.onReturnPressed: otp_page.copy_code()
            Keys.onEnterPressed: otp_page.copy_code()
            Accessible.onPressAction: otp_page.copy_code()
            Accessible.name: otp_page.spoken_text()
            // A screen reader does not say the changed name of a focused text: a new code is
            // said as a notification, only while the box has the keyboard in the active window.
            onTextChanged: {
                if (otp_page.code_shown() && activeFocus && otp_page.Window.active) {
                    code_news.text = otp_page.spoken_text()
                    code_news.visible = true
                    code_news_timer.restart()
                }
            }
            Accessible.description: otp_page.code_shown() ? qsTr("Space or Ctrl+C copies the code") : ""
            Accessible.focusable: true
        }

        Button {
            id: btn_copy
            objectName: "btn_copy"
            visible: otp_page.code_shown()
            width: 25
            height: 25
            anchors.left: otp_value_bar.right
            anchors.leftMargin: 12
            anchors.verticalCenter: otp_value_bar.verticalCenter
            // The code box has the keyboard, and copies with Space, Enter or Ctrl+C: no Tab stop
            // of its own, nor one a screen reader announces, and a click must not take it away.
            focusPolicy: Qt.NoFocus
            Accessible.focusable: false
            hoverEnabled: true
            flat: true
            onHoveredChanged: flat = !hovered
            onClicked: otp_page.copy_code()
            Accessible.name: qsTr("Copy code")
            Accessible.description: qsTr("Ctrl+C")

            Image {
                source: "pic/clipboard-copy.png"
                anchors.fill: parent
                fillMode: Image.PreserveAspectFit
                // Decoded at the size it is shown (twice that, for dense screens), not 512 x 512.
                sourceSize: Qt.size(2 * width, 2 * height)
            }
        }

        // Above the code, where nothing else is drawn, so the layout does not move.
        AlertText {
            id: copied_note
            objectName: "copied_note"
            text: qsTr("Copied")
            visible: false
            anchors.horizontalCenter: otp_value_bar.horizontalCenter
            anchors.bottom: otp_value_bar.top
            anchors.bottomMargin: 6
            font.pixelSize: 14
            color: "#2e7d32"
        }

        // Heard, not seen.
        AlertText {
            id: code_news
            objectName: "code_news"
            visible: false
            color: "transparent"
            anchors.centerIn: otp_value_bar
        }

        Timer {
            id: code_news_timer
            interval: 1500
            onTriggered: code_news.visible = false
        }

        Timer {
            id: copied_note_timer
            interval: 1500
            onTriggered: copied_note.visible = false
        }

        Label {
            id: bar_left_time
            objectName: "bar_left_time"
            text: otp_page.countdown_text()
            Accessible.ignored: true
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: otp_value_bar.bottom
            anchors.topMargin: 15
            font.pixelSize: 18
            color: "black"
        }

        AlertText {
            id: bar_information
            objectName: "bar_information"
            text: otp_page.message_text()
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
        enabled: otp_page.code_shown()
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
