import QtQuick 2.12
import QtQuick.Controls 2.12
import ".."

TitleDialog {
    id: dialog_preferences

    // The model can be withdrawn (set to null) while the dialog is open.
    readonly property bool has_model: typeof otp_status !== "undefined" && otp_status !== null
    readonly property bool switching: has_model && otp_status.press_mode_pending

    // Asks for press mode on or off; the window shows the result.
    signal switch_press_mode(bool on)

    // Which mode is in effect, as far as this run has learnt it from the token.
    function state_text(on) {
        if (!has_model || !otp_status.press_mode_known)
            return ""
        return otp_status.press_mode_on === on ? qsTr("In effect.") : qsTr("Not in effect.")
    }

    titleText: qsTr("Preferences")

    Column {
        spacing: 10
        leftPadding: 45
        rightPadding: 45
        topPadding: 10
        bottomPadding: 30

        Button {
            text: qsTr("Enable Key Press")
            Accessible.name: text
            Accessible.description: (qsTr("The token gives a code only after its button is pressed.")
                                     + " " + dialog_preferences.state_text(true)).trim()
            hoverEnabled: true
            font.pixelSize: 14
            anchors.horizontalCenter: parent.horizontalCenter
            enabled: !dialog_preferences.switching
            onClicked: dialog_preferences.switch_press_mode(true)
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()

            FocusFrame {}
        }

        Button {
            text: qsTr("Disable Key Press")
            Accessible.name: text
            Accessible.description: (qsTr("The token gives a code without a press of its button.")
                                     + " " + dialog_preferences.state_text(false)).trim()
            hoverEnabled: true
            font.pixelSize: 14
            anchors.horizontalCenter: parent.horizontalCenter
            enabled: !dialog_preferences.switching
            onClicked: dialog_preferences.switch_press_mode(false)
            Keys.onReturnPressed: clicked()
            Keys.onEnterPressed: clicked()

            FocusFrame {}
        }

        // The program's first setting: closing the window leaves it running in the tray, where
        // the desktop has one.
        CheckBox {
            id: check_keep_in_tray
            objectName: "check_keep_in_tray"

            readonly property bool tray_available: typeof tray !== "undefined" && tray !== null && tray.available

            width: 230
            text: qsTr("Keep running in the tray when the window is closed")
            font.pixelSize: 13
            checked: typeof user_settings !== "undefined" && user_settings !== null && user_settings.keep_in_tray
            enabled: tray_available
            onToggled: user_settings.keep_in_tray = checked
            Accessible.name: text
            // Qt Quick items cannot report the disabled state, so the description says why.
            Accessible.description: tray_available ? "" : qsTr("No tray on this desktop")
            contentItem: Text {
                text: check_keep_in_tray.text
                font: check_keep_in_tray.font
                wrapMode: Text.Wrap
                leftPadding: check_keep_in_tray.indicator.width + check_keep_in_tray.spacing
                verticalAlignment: Text.AlignVCenter
                opacity: check_keep_in_tray.enabled ? 1.0 : 0.3
            }

            FocusFrame {}
        }

        Text {
            objectName: "label_no_tray"
            text: qsTr("No tray on this desktop")
            visible: !check_keep_in_tray.tray_available
            font.pixelSize: 12
            color: "#555555"
            anchors.horizontalCenter: parent.horizontalCenter
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        AlertText {
            objectName: "label_press_mode_waiting"
            text: qsTr("Waiting for the token\u2026\npress its button if it blinks.")
            visible: dialog_preferences.switching
            horizontalAlignment: Text.AlignHCenter
            anchors.horizontalCenter: parent.horizontalCenter
            font.pixelSize: 13
        }
    }
}
