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

    // The token may wait for its button: the switch runs on the model's worker and reports back.
    function switch_press_mode(on) {
        if (press_mode_waiting)
            return
        if (!has_otp_status()) {
            msg_press_mode_error.open()
            return
        }
        press_mode_waiting = true
        press_mode_model = otp_status
        otp_status.request_press_mode(on)
    }

    function press_mode_done(on, ok) {
        press_mode_waiting = false
        press_mode_model = null
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
        help_section = section || ""
        dialog_help.open()
    }

    // The heading's text is looked up in the shown text, as the page's own ids do not survive.
    function scroll_help_to_section() {
        help_view.contentY = 0
        var html = typeof help_html !== "undefined" ? String(help_html) : ""
        var heading = help_section === "" ? null : html.match(new RegExp('id="' + help_section + '"[^>]*>([^<]*)<'))
        if (!heading)
            return
        var at = help_text.getText(0, help_text.length).indexOf(heading[1])
        if (at >= 0)
            scroll_help(help_text.positionToRectangle(at).y)
    }

    function scroll_help(content_y) {
        help_view.contentY = Math.max(0, Math.min(content_y, help_view.contentHeight - help_view.height))
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

    property bool press_mode_waiting: false
    // The id of the section the in-window help opens at; empty: the top.
    property string help_section: ""

    // The model a pending switch was asked of; another one (or none) means the token left.
    property var press_mode_model: null
    readonly property var current_model: has_otp_status() ? otp_status : null

    onCurrent_modelChanged: {
        if (press_mode_waiting && current_model !== press_mode_model)
            press_mode_done(false, false)
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
            Accessible.name: text
            // Qt Quick items cannot report the disabled state, so the description says it.
            Accessible.description: enabled ? "" : qsTr("Unavailable until a token is found")

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
            title: qsTr("File")
            Component.onCompleted: window.name_popup(this)
            font.family: "Verdana"
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_exit, 20)

            MenuItem {
                id: menu_item_exit
                text: qsTr("Exit")
                Accessible.name: text
                onTriggered: window.close()
            }
        }

        Menu {
            title: qsTr("Settings")
            Component.onCompleted: window.name_popup(this)
            enabled: window.has_otp_status()
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_preferences, 20)

            MenuItem {
                id: menu_item_preferences
                text: qsTr("Preferences...")
                Accessible.name: text
                onTriggered: dialog_preferences.open()
            }

            MenuItem {
                text: qsTr("Token Info...")
                Accessible.name: text
                onTriggered: dialog_token_info.open()
            }
        }

        Menu {
            title: qsTr("Help")
            Component.onCompleted: window.name_popup(this)
            font.pixelSize: menuBar.sub_menu_pixel_size
            width: window.get_item_width(menu_item_online_help, 20)

            MenuItem {
                id: menu_item_online_help
                text: qsTr("Online Help")
                Accessible.name: text
                onTriggered: window.open_help()
            }

            MenuItem {
                text: qsTr("About")
                Accessible.name: text
                onTriggered: dialog_about.open()
            }
        }

        TitleDialog {
            id: msg_press_mode_error
            objectName: "msg_press_mode_error"
            titleText: qsTr("Press Mode Settings")

            AlertText {
                text: qsTr("This key doesn't support it.")
                font.pixelSize: 16
            }
        }

        TitleDialog {
            id: msg_press_mode_ok
            objectName: "msg_press_mode_ok"

            property alias text: label_press_mode_ok.text

            titleText: qsTr("Press Mode Settings")

            AlertText {
                id: label_press_mode_ok
                font.pixelSize: 16
            }
        }

        TitleDialog {
            id: dialog_about
            objectName: "dialog_about"
            titleText: qsTr("About")

            readonly property string log_path: typeof log_file_path !== "undefined" ? log_file_path : ""

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
                        objectName: "about_version"
                        // The version --version prints.
                        text: qsTr("Larkmoor %1").arg(typeof app_version !== "undefined" ? app_version : "")
                        font.pixelSize: 13
                        anchors.horizontalCenter: parent.horizontalCenter
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }

                    Text {
                        text: qsTr("© Orvandel. For Orvandel OTP tokens.")
                        font.pixelSize: 14
                        anchors.horizontalCenter: parent.horizontalCenter
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }

                    Text {
                        text: qsTr("The log:")
                        visible: dialog_about.log_path !== ""
                        font.pixelSize: 12
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }

                    // Selectable, so that the path can be copied into a file manager or a terminal.
                    TextEdit {
                        objectName: "about_log_path"
                        text: dialog_about.log_path
                        visible: text !== ""
                        width: 270
                        wrapMode: TextEdit.WrapAnywhere
                        readOnly: true
                        selectByMouse: true
                        selectByKeyboard: true
                        activeFocusOnTab: true
                        cursorVisible: activeFocus
                        textFormat: TextEdit.PlainText
                        font.pixelSize: 12
                        Accessible.role: Accessible.StaticText
                        Accessible.name: qsTr("The log: %1").arg(text)
                    }
                }
            }
        }

        TitleDialog {
            id: dialog_token_info
            objectName: "dialog_token_info"

            readonly property string token_info: window.has_otp_status() ? otp_status.token_info : ""
            readonly property string hint: window.has_otp_status() ? otp_status.token_info_hint : ""

            titleText: qsTr("Token Info")
            // One read, bounded by the model; reopening the dialog asks again.
            onOpened: {
                if (window.has_otp_status())
                    otp_status.async_query_token_info()
            }
            onClosed: {
                if (window.has_otp_status())
                    otp_status.drop_token_info_query()
            }

            // Selectable, so that the serial number can be copied.
            TextEdit {
                readOnly: true
                selectByMouse: true
                selectByKeyboard: true
                activeFocusOnTab: true
                // A hint asks for the user's press or says why there is no information: a
                // screen reader says it at once.
                Accessible.role: dialog_token_info.token_info === "" ? Accessible.Notification : Accessible.StaticText
                Accessible.name: text
                // Read-only text hides its cursor; with the keyboard here, it shows where it is.
                cursorVisible: activeFocus
                textFormat: TextEdit.PlainText
                font.pixelSize: 15
                horizontalAlignment: Text.AlignLeft
                color: dialog_token_info.token_info === "" ? "red" : "black"
                text: dialog_token_info.token_info !== "" ? dialog_token_info.token_info : dialog_token_info.hint
            }
        }

        TitleDialog {
            id: dialog_preferences
            objectName: "dialog_preferences"
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
                    hoverEnabled: true
                    font.pixelSize: 14
                    anchors.horizontalCenter: parent.horizontalCenter
                    enabled: !window.press_mode_waiting
                    onClicked: window.switch_press_mode(true)
                    Keys.onReturnPressed: clicked()
                    Keys.onEnterPressed: clicked()

                    FocusFrame {}
                }

                Button {
                    text: qsTr("Disable Key Press")
                    Accessible.name: text
                    hoverEnabled: true
                    font.pixelSize: 14
                    anchors.horizontalCenter: parent.horizontalCenter
                    enabled: !window.press_mode_waiting
                    onClicked: window.switch_press_mode(false)
                    Keys.onReturnPressed: clicked()
                    Keys.onEnterPressed: clicked()

                    FocusFrame {}
                }

                AlertText {
                    objectName: "label_press_mode_waiting"
                    text: qsTr("Waiting for the token\u2026\npress its button if it blinks.")
                    visible: window.press_mode_waiting
                    horizontalAlignment: Text.AlignHCenter
                    anchors.horizontalCenter: parent.horizontalCenter
                    font.pixelSize: 13
                }
            }
        }

        // The help page inside the window, for desktops that cannot open it in a browser.
        TitleDialog {
            id: dialog_help
            objectName: "dialog_help"
            titleText: qsTr("Help")
            onOpened: window.scroll_help_to_section()

            Flickable {
                id: help_view
                objectName: "help_view"
                implicitWidth: 290
                implicitHeight: 220
                clip: true
                contentWidth: width
                contentHeight: help_text.implicitHeight
                boundsBehavior: Flickable.StopAtBounds
                activeFocusOnTab: true
                focus: true
                Keys.onUpPressed: help_bar.decrease()
                Keys.onDownPressed: help_bar.increase()
                Keys.onPressed: {
                    // A page keeps one line of the last in sight.
                    var page = height - 20
                    if (event.key === Qt.Key_PageDown)
                        window.scroll_help(contentY + page)
                    else if (event.key === Qt.Key_PageUp)
                        window.scroll_help(contentY - page)
                    else if (event.key === Qt.Key_Home)
                        window.scroll_help(0)
                    else if (event.key === Qt.Key_End)
                        window.scroll_help(contentHeight)
                    else
                        return
                    event.accepted = true
                }
                Accessible.role: Accessible.Pane
                Accessible.name: qsTr("Help")
                ScrollBar.vertical: ScrollBar {
                    id: help_bar
                    policy: ScrollBar.AlwaysOn
                }

                // The arrows and the page keys scroll the page while it has the keyboard.
                Rectangle {
                    parent: help_view
                    anchors.fill: parent
                    color: "transparent"
                    border.width: 1
                    border.color: window.palette.highlight
                    visible: help_view.activeFocus
                }

                // Selectable, so that a command can be copied into a terminal.
                TextEdit {
                    id: help_text
                    objectName: "help_text"
                    width: help_view.width - 14
                    leftPadding: 4
                    readOnly: true
                    selectByMouse: true
                    activeFocusOnPress: false
                    wrapMode: TextEdit.Wrap
                    textFormat: TextEdit.RichText
                    Accessible.role: Accessible.Paragraph
                    Accessible.name: getText(0, length)
                    // The page's style sheet sets browser margins, which would narrow this small view.
                    text: typeof help_html !== "undefined" ? help_html.replace(/<style>[\s\S]*<\/style>/, "") : ""
                    onLinkActivated: Qt.openUrlExternally(link)
                }
            }
        }
    }

    Shortcut {
        sequence: "Ctrl+Q"
        // Also while a menu or dialog is open: quitting is never blocked.
        context: Qt.ApplicationShortcut
        onActivated: menu_item_exit.triggered()
    }

    // Alt and a title's first letter open its menu, in every language. Qt's own access keys
    // ("&Settings") stay dead once their title has been disabled, as Settings is until a token is found.
    Shortcut {
        //: Opens the File menu: Alt and the first letter of the menu's title
        sequence: qsTr("Alt+F")
        onActivated: menuBar.itemAt(0).triggered()
    }

    Shortcut {
        //: Opens the Settings menu: Alt and the first letter of the menu's title
        sequence: qsTr("Alt+S")
        enabled: window.has_otp_status()
        onActivated: menuBar.itemAt(1).triggered()
    }

    Shortcut {
        //: Opens the Help menu: Alt and the first letter of the menu's title
        sequence: qsTr("Alt+H")
        onActivated: menuBar.itemAt(2).triggered()
    }

    Shortcut {
        sequence: "F1"
        onActivated: menu_item_online_help.triggered()
    }

    Connections {
        target: window.current_model
        ignoreUnknownSignals: true

        function onPress_mode_finished(on, ok) {
            if (window.press_mode_waiting)
                window.press_mode_done(on, ok)
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
