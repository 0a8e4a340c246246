import QtQuick 2.12
import QtTest 1.2
import Larkmoor.Testing 1.0

// The real window over the real MainFrame and OtpStatus, with the simulated token below the key
// layer; each test launches its own window. A Qt warning ends the program (QT_FATAL_WARNINGS).
TestCase {
    when: windowShown

    property var window: null
    // Long enough for a key worker under the sanitizers, short enough to fail a broken test quickly.
    readonly property int token_timeout: 10000
    readonly property string help_page: "file:///opt/larkmoor/help.html"

    // In start-up's order: the window first, then MainFrame and one rescan. With a model time the
    // page's own (real) clock stops once the OTP page shows, and tick() drives it at model time.
    function launch(with_token, model_time) {
        Bench.publish("help_url", help_page)
        window = Qt.createComponent("qrc:/main.qml").createObject(null)
        window.requestActivate()
        tryVerify(function() { return window.active })
        Bench.start(with_token, model_time === undefined ? -1 : model_time)
        // The page's first tick, asked for as it shows, comes meanwhile: a later one would not.
        verify(waitForRendering(window.contentItem))
        if (model_time !== undefined) {
            tryVerify(on_otp_page, 1000, "the OTP page is not shown")
            page().disable_otp_timer()
        }
    }

    function cleanup() {
        window.destroy()
        window = null
        wait(0)
        Bench.shut_down()
    }

    function tick(seconds) {
        Bench.set_model_time(seconds)
        page().time_changed()
    }
    function page() { return findChild(window, "stackView").currentItem }
    function part(name) { return findChild(page(), name) }
    function on_otp_page() { return page() !== null && typeof page().time_changed === "function" }
    function code_label() { return part("otp_value_bar") }

    // How the page groups a code: two halves split by a space.
    function grouped(code) {
        var half = Math.floor(code.length / 2)
        return code.slice(0, half) + " " + code.slice(half)
    }

    function wait_for_a_code() {
        tryVerify(function() { return on_otp_page() && code_label().text !== "" }, token_timeout, "no code shown")
    }

    function find_item(root, matches) {
        if (matches(root))
            return root
        for (var i = 0; i < root.children.length; ++i) {
            var found = find_item(root.children[i], matches)
            if (found)
                return found
        }
        return null
    }

    function with_text(root, text) {
        return find_item(root, function(item) { return item.text === text })
    }

    function button_in(dialog, text) {
        var button = find_item(dialog.contentItem.parent, function(item) {
            return item.text === text && typeof item.clicked === "function"
        })
        verify(button !== null, "no button " + text)
        return button
    }

    // Tab reaches the button, it shows its focus, and the key presses it.
    function press_by_keyboard(button, key) {
        for (var tabs = 0; tabs < 6 && !button.activeFocus; ++tabs)
            keyClick(Qt.Key_Tab)
        verify(button.activeFocus && button.visualFocus, "Tab does not reach " + button.text)
        var frame = findChild(button, "focus_frame")
        verify(frame !== null ? frame.visible : button.background.border.width > 0, button.text + " shows no focus")
        keyClick(key)
    }

    function open_from_menu(menu_index, item_index, dialog_name) {
        window.menuBar.menuAt(menu_index).itemAt(item_index).triggered()
        var dialog = findChild(window, dialog_name)
        tryVerify(function() { return dialog.opened }, 1000, dialog_name + " did not open")
        return dialog
    }

    function shortcut_shown(menu_item) {
        return findChild(menu_item, "shortcut_text").text
    }

    function close_with_escape(dialog) {
        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !dialog.visible }, 1000, "Escape did not close the dialog")
    }
}
