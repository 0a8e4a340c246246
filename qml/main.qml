import QtQuick 2.12
import QtQuick.Window 2.12
import QtQuick.Controls 2.12
import "dialogs"

ApplicationWindow {
    id: window

    // The window is loaded before start-up publishes these context properties.
    function has_main_frame() {
        return typeof main_frame !== "undefined" && main_frame !== null
    }

    function has_otp_status() {
        return typeof otp_status !== "undefined" && otp_status !== null
    }

    // A screen reader sees a menu through its popup item.
    function name_popup(menu) {
        menu.contentItem.parent.Accessible.name = Qt.binding(function() { return menu.title })
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

    // The token may wait for its button: the switch runs on the model's worker, which also
    // knows whether one is under way, and reports back.
    function switch_press_mode(on) {
        if (!has_otp_status()) {
            msg_press_mode_error.open()
            return
        }
        otp_status.request_press_mode(on)
    }

    function press_mode_done(on, ok) {
        if (ok) {
            msg_press_mode_ok.text = on ? qsTr("Press Mode Enabled.") : qsTr("Press Mode Disabled.")
            msg_press_mode_ok.open()
        } else {
            msg_press_mode_error.open()
        }
    }

    // The browser when the desktop has one, otherwise the same page inside the window; at the
    // section whose id is given, or at the top.
    function open_help(section) {
        if (typeof help_url !== "undefined" && String(help_url) !== ""
                && Qt.openUrlExternally(section ? help_url + "#" + section : help_url))
            return
        dialog_help.section = section || ""
        dialog_help.open()
    }

    // The bar's reset moves the focus to its title, which must not leave a dialog without it.
    function dialog_shown() {
        var dialogs = [msg_press_mode_error, msg_press_mode_ok, dialog_about, dialog_token_info,
                       dialog_preferences, dialog_help]
        for (var i = 0; i < dialogs.length; ++i) {
            if (dialogs[i].visible)
                return true
        }
        return false
    }

    // From the keyboard a menu opens at its first entry, as desktop menus do: the entry taking
    // the focus is also what tells a screen reader that the menu opened.
    function open_menu(index) {
        menuBar.itemAt(index).triggered()
        menuBar.menuAt(index).currentIndex = 0
    }

    // The title with the letter of its Alt key underlined, always, as the desktop's menus do
    // where access keys are always shown: the bar cannot tell when Alt is held while a menu or
    // dialog has the keyboard.
    function mnemonic_title(title, access_key) {
        var at = title.toLowerCase().indexOf(access_key.slice(-1).toLowerCase())
        if (at < 0)
            return title
        return title.slice(0, at) + "<u>" + title.charAt(at) + "</u>" + title.slice(at + 1)
    }

    visible: true
    width: 320
    height: 325
    minimumWidth: 320
    maximumWidth: 320
    minimumHeight: 325
    maximumHeight: 325
    title: qsTr("Larkmoor")
    color: "white"
    font.family: "Verdana"

    menuBar: MenuBar {
        id: menuBar

        property int sub_menu_pixel_size: 16

        font.family: "Verdana"
        Accessible.name: qsTr("Menu bar")
        background: Rectangle {
            color: "#f3f3f3"
        }

        delegate: MenuBarItem {
            id: menu_bar_item
            // A disabled menu must also disable its entry, or the entry could still open it.
            enabled: menu ? menu.enabled : true
            font.family: "Verdana"
            font.pixelSize: 16
            // Qt reports a bar's title with the role of the bar itself, whatever QML sets: a
            // screen reader sees the title through the item below instead.
            Accessible.ignored: true

            Item {
                anchors.fill: parent
                Accessible.role: Accessible.MenuItem
                Accessible.name: menu_bar_item.text
                // Qt Quick items cannot report the disabled state, so the description says it.
                Accessible.description: menu_bar_item.enabled ? "" : qsTr("Unavailable until a token is found")
            }

            contentItem: Text {
                text: menu ? window.mnemonic_title(menu_bar_item.text, menu.access_key) : menu_bar_item.text
                textFormat: Text.StyledText
                font: menu_bar_item.font
                Accessible.ignored: true
                horizontalAlignment: Text.AlignLeft
                verticalAlignment: Text.AlignVCenter
                color: menu_bar_item.highlighted ? "white" : "black"
                opacity: menu_bar_item.enabled ? 1.0 : 0.3
            }

            background: Rectangle {
                color: menu_bar_item.highlighted ? "gray" : "transparent"
                opacity: menu_bar_item.enabled ? 1 : 0.3
            }

            // A menu closed by Escape under the pointer leaves the bar believing it is still
            // open, so the next click on its title would only "close" it. Triggering the title
            // once sets the bar straight, unless a press on the title closed the menu: that is
            // the bar's own toggle.
            property int presses: 0
            property int presses_at_open: 0
            onPressedChanged: {
                if (pressed)
                    ++presses
            }

            Connections {
                target: menu_bar_item.menu

                function onAboutToShow() {
                    menu_bar_item.presses_at_open = menu_bar_item.presses
                }

                function onAboutToHide() {
                    if (menu_bar_item.pressed || menu_bar_item.presses !== menu_bar_item.presses_at_open)
                        return
                    Qt.callLater(function() {
                        if (menu_bar_item.highlighted && menu_bar_item.menu && !menu_bar_item.menu.opened
                                && !window.dialog_shown())
                            menu_bar_item.triggered()
                    })
                }
            }
        }

        Menu {
            id: menu_file

            //: Opens the File menu: Alt and the first letter of the menu's title
            readonly property string access_key: qsTr("Alt+F")

            title: qsTr("File")
            Component.onCompleted: window.name_popup(this)
            font.family: "Verdana"
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_exit, 20)

            MenuEntry {
                id: menu_item_exit
                text: qsTr("Exit")
                shortcut_text: quit_shortcut.nativeText
                // Quits also where closing the window would leave Larkmoor in the tray.
                onTriggered: Qt.quit()
            }
        }

        Menu {
            id: menu_settings

            //: Opens the Settings menu: Alt and the first letter of the menu's title
            readonly property string access_key: qsTr("Alt+S")

            title: qsTr("Settings")
            Component.onCompleted: window.name_popup(this)
            enabled: window.has_otp_status()
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_preferences, 20)

            MenuEntry {
                id: menu_item_preferences
                text: qsTr("Preferences...")
                onTriggered: dialog_preferences.open()
            }

            MenuEntry {
                text: qsTr("Token Info...")
                onTriggered: dialog_token_info.open()
            }
        }

        Menu {
            id: menu_help

            //: Opens the Help menu: Alt and the first letter of the menu's title
            readonly property string access_key: qsTr("Alt+H")

            title: qsTr("Help")
            Component.onCompleted: window.name_popup(this)
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_online_help, 20)

            MenuEntry {
                id: menu_item_online_help
                text: qsTr("Online Help")
                shortcut_text: help_shortcut.nativeText
                onTriggered: window.open_help()
            }

            MenuEntry {
                text: qsTr("About")
                onTriggered: dialog_about.open()
            }
        }
    }

    PressModeResultDialog {
        id: msg_press_mode_error
        objectName: "msg_press_mode_error"
        text: qsTr("This key doesn't support it.")
    }

    PressModeResultDialog {
        id: msg_press_mode_ok
        objectName: "msg_press_mode_ok"
    }

    AboutDialog {
        id: dialog_about
        objectName: "dialog_about"
    }

    TokenInfoDialog {
        id: dialog_token_info
        objectName: "dialog_token_info"
    }

    PreferencesDialog {
        id: dialog_preferences
        objectName: "dialog_preferences"
        onSwitch_press_mode: window.switch_press_mode(on)
    }

    HelpDialog {
        id: dialog_help
        objectName: "dialog_help"
    }

    Shortcut {
        id: quit_shortcut
        sequence: "Ctrl+Q"
        // Also while a menu or dialog is open: quitting is never blocked.
        context: Qt.ApplicationShortcut
        onActivated: menu_item_exit.triggered()
    }

    // Alt and a title's first letter open its menu, in every language. Qt's own access keys
    // ("&Settings") stay dead once their title has been disabled, as Settings is until a token is found.
    Shortcut {
        sequence: menu_file.access_key
        onActivated: window.open_menu(0)
    }

    Shortcut {
        sequence: menu_settings.access_key
        enabled: window.has_otp_status()
        onActivated: window.open_menu(1)
    }

    Shortcut {
        sequence: menu_help.access_key
        onActivated: window.open_menu(2)
    }

    Shortcut {
        id: help_shortcut
        sequence: "F1"
        onActivated: menu_item_online_help.triggered()
    }

    Connections {
        target: window.has_otp_status() ? otp_status : null
        ignoreUnknownSignals: true

        function onPress_mode_finished(on, ok) {
            window.press_mode_done(on, ok)
        }
    }

    StackView {
        id: stackView
        // A layer of its own to Qt, which a screen reader would name at every return to the page.
        Accessible.ignored: true
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
        // The window's own width, also where it can be maximised (Wayland).
        width: Math.min(parent.width, 320)
        anchors.horizontalCenter: parent.horizontalCenter
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
