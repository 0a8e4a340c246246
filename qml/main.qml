import QtQuick 2.12
import QtQuick.Window 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12

ApplicationWindow {
    id: window

    // The window is loaded before start-up publishes these context properties.
    function has_main_frame() {
        return typeof main_frame !== "undefined" && main_frame !== null
    }

    function has_otp_status() {
        return typeof otp_status !== "undefined" && otp_status !== null
    }

    function get_item_width(item, padding) {
        return item.contentItem.implicitWidth + 2 * Math.max(item.padding, padding)
    }

    // The page area may hold the no-key page, which has no refresh timer.
    function call_page(function_name) {
        var page = stackView.currentItem
        if (page && typeof page[function_name] === "function")
            page[function_name]()
    }

    function switch_press_mode(on, done_text) {
        if (has_otp_status() && otp_status.set_press_mode(on)) {
            msg_press_mode_ok.text = done_text
            msg_press_mode_ok.open()
        } else {
            msg_press_mode_error.open()
        }
    }

    visible: true
    width: 320
    height: 325
    minimumWidth: 320
    maximumWidth: 320
    minimumHeight: 325
    maximumHeight: 325
    title: "Larkmoor"
    color: "white"
    font.family: "Verdana"

    menuBar: MenuBar {
        id: menuBar

        property int sub_menu_pixel_size: 16

        font.family: "Verdana"
        background: Rectangle {
            color: "#f3f3f3"
        }

        delegate: MenuBarItem {
            id: menu_bar_item
            // A disabled menu must also disable its entry, or the entry could still open it.
            enabled: menu ? menu.enabled : true
            font.family: "Verdana"
            font.pixelSize: 16

            contentItem: Text {
                text: menu_bar_item.text
                font: menu_bar_item.font
                horizontalAlignment: Text.AlignLeft
                verticalAlignment: Text.AlignVCenter
                color: menu_bar_item.highlighted ? "white" : "black"
                opacity: menu_bar_item.enabled ? 1.0 : 0.3
            }

            background: Rectangle {
                color: menu_bar_item.highlighted ? "gray" : "transparent"
                opacity: menu_bar_item.enabled ? 1 : 0.3
            }
        }

        Menu {
            title: qsTr("File")
            font.family: "Verdana"
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_exit, 20)

            MenuItem {
                id: menu_item_exit
                text: qsTr("Exit")
                onTriggered: window.close()
            }
        }

        Menu {
            title: qsTr("Settings")
            enabled: window.has_otp_status()
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_preferences, 20)

            MenuItem {
                id: menu_item_preferences
                text: "Preferences..."
                onTriggered: dialog_preferences.open()
            }

            MenuItem {
                text: "Token Info..."
                onTriggered: dialog_token_info.open()
            }
        }

        Menu {
            title: qsTr("Help")
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_online_help, 20)

            MenuItem {
                id: menu_item_online_help
                text: "Online Help"
                onTriggered: {
                    if (typeof help_url !== "undefined")
                        Qt.openUrlExternally(help_url)
                }
            }

            MenuItem {
                text: "About"
                onTriggered: dialog_about.open()
            }
        }

        TitleDialog {
            id: msg_press_mode_error
            objectName: "msg_press_mode_error"
            titleText: "Press Mode Settings"

            Label {
                text: "This key doesn't support it."
                font.pixelSize: 16
            }
        }

        TitleDialog {
            id: msg_press_mode_ok
            objectName: "msg_press_mode_ok"

            property alias text: label_press_mode_ok.text

            titleText: "Press Mode Settings"

            Label {
                id: label_press_mode_ok
                font.pixelSize: 16
            }
        }

        TitleDialog {
            id: dialog_about
            objectName: "dialog_about"
            titleText: "About"

            Rectangle {
                implicitWidth: column_about.implicitWidth
                implicitHeight: column_about.implicitHeight

                Column {
                    id: column_about
                    topPadding: 10
                    bottomPadding: 20
                    leftPadding: 10
                    rightPadding: 10
                    spacing: 10

                    Image {
                        source: "pic/larkmoor-logo-48-48.png"
                        width: 48
                        height: 48
                        anchors.horizontalCenter: parent.horizontalCenter
                        fillMode: Image.PreserveAspectFit
                    }

                    Text {
                        text: "Larkmoor v1.0"
                        font.pixelSize: 13
                        anchors.horizontalCenter: parent.horizontalCenter
                    }

                    Text {
                        text: "© Orvandel. For Orvandel OTP tokens."
                        font.pixelSize: 14
                        anchors.horizontalCenter: parent.horizontalCenter
                    }
                }
            }
        }

        TitleDialog {
            id: dialog_token_info
            objectName: "dialog_token_info"

            readonly property string token_info: window.has_otp_status() ? otp_status.token_info : ""

            titleText: "Token Info"
            onToken_infoChanged: {
                if (token_info !== "")
                    timer_token_info.stop()
            }
            onOpened: {
                if (token_info === "") {
                    window.call_page("disable_otp_timer")
                    timer_token_info.start()
                }
            }
            onClosed: {
                window.call_page("enable_otp_timer")
                timer_token_info.stop()
            }

            Text {
                font.pixelSize: 15
                horizontalAlignment: Text.AlignLeft
                color: dialog_token_info.token_info === "" ? "red" : "black"
                text: dialog_token_info.token_info === ""
                      ? "If you are in Press Mode, \nthe key requires press to get token info"
                      : dialog_token_info.token_info
            }

            Timer {
                id: timer_token_info
                objectName: "timer_token_info"
                interval: 300
                repeat: true
                running: false
                onTriggered: {
                    if (window.has_otp_status())
                        otp_status.async_query_token_info()
                }
            }
        }

        TitleDialog {
            id: dialog_preferences
            objectName: "dialog_preferences"
            titleText: "Preferences"

            Column {
                spacing: 10
                leftPadding: 45
                rightPadding: 45
                topPadding: 10
                bottomPadding: 30

                Button {
                    text: qsTr("Enable Key Press")
                    hoverEnabled: true
                    font.pixelSize: 14
                    anchors.horizontalCenter: parent.horizontalCenter
                    onClicked: window.switch_press_mode(true, "Press Mode Enabled.")
                }

                Button {
                    text: qsTr("Disable Key Press")
                    hoverEnabled: true
                    font.pixelSize: 14
                    anchors.horizontalCenter: parent.horizontalCenter
                    onClicked: window.switch_press_mode(false, "Press Mode Disabled.")
                }
            }
        }
    }

    StackView {
        id: stackView
        objectName: "stackView"
        font.family: "Verdana"
        initialItem: "init_page.qml"
        width: parent.width
        height: 230
        anchors.top: parent.top
        anchors.topMargin: 20
    }

    Image {
        source: "pic/orvandel_logo.png"
        width: parent.width
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 16
        fillMode: Image.PreserveAspectFit
    }

    Connections {
        target: window.has_main_frame() ? main_frame : null

        function onShow_otp_status() {
            stackView.clear()
            stackView.push(window.has_otp_status() ? "otp_status_view.qml" : "init_page.qml")
        }

        function onHid_change_event() {
            main_frame.rescan_key()
        }
    }
}
