import QtQuick 2.12
import QtTest 1.2
import Larkmoor.Testing 1.0

// The real window over the real MainFrame and OtpStatus, with the simulated token below the
// key layer; each test launches its own window and the cleanup shuts everything down.
TestCase {
    when: windowShown

    property var window: null
    // Long enough for a key worker under the sanitizers, short enough to fail a broken test quickly.
    readonly property int token_timeout: 10000

    // In start-up's order: the window first, then MainFrame, published, and one rescan.
    // options.model_time: the seconds since the epoch the models see instead of the system time;
    // options.press_wait: the token starts in press mode and waits this many ms for its button.
    function launch(with_token, options) {
        // The page drops a code in the last two seconds of the real clock's window, and a frozen
        // model clock never reads it again: start where a test has ten seconds before that.
        var into_window = (Date.now() / 1000) % 30
        if (options && options.model_time !== undefined && into_window > 18)
            wait((30 - into_window) * 1000 + 100)
        Bench.prepare(with_token)
        if (options && options.model_time !== undefined)
            Bench.set_model_time(options.model_time)
        if (options && options.press_wait !== undefined) {
            Bench.set_token_press_mode(true)
            Bench.set_press_wait(options.press_wait)
        }
        Harness.begin_capture()
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        window.requestActivate()
        tryVerify(function() { return window.active })
        Bench.start_main_frame()
        verify(waitForRendering(window.contentItem))
    }

    function cleanup() {
        if (window) {
            window.destroy()
            window = null
            wait(0)
        }
        Bench.shut_down()
        compare(Harness.end_capture(), [], "Qt warnings")
    }

    function now_seconds() {
        return Math.floor(Date.now() / 1000)
    }

    // A hot-plug notification, handled the way the window handles it.
    function hot_plug_event() {
        main_frame.hid_change_event()
    }

    function stack() {
        return findChild(window, "stackView")
    }

    function page() {
        return stack().currentItem
    }

    function on_otp_page() {
        return page() !== null && typeof page().time_changed === "function"
    }

    function on_no_key_page() {
        return page() !== null && find_item(page(), function(item) { return item.text === "No Key Detected!" }) !== null
    }

    function page_timer_running() {
        return findChild(page(), "otp_timer").running
    }

    function code_label() {
        return findChild(page(), "otp_value_bar")
    }

    // oathtool's codes from the window holding `seconds` on, one per window.
    function oathtool_codes(seconds, count) {
        var codes = Bench.oathtool_codes(seconds, count)
        compare(codes.length, count, "oathtool: " + codes.join(" "))
        for (var i = 0; i < codes.length; ++i)
            verify(/^[0-9]+$/.test(codes[i]), "oathtool: " + codes[i])
        return codes
    }

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

    function shows_text(dialog, text) {
        return find_item(dialog.contentItem, function(item) { return item.text === text }) !== null
    }

    function button_in(dialog, text) {
        var button = find_item(dialog.contentItem.parent, function(item) {
            return item.text === text && typeof item.clicked === "function"
        })
        verify(button !== null, "no button " + text)
        return button
    }

    function open_from_menu(menu_index, item_index, dialog_name) {
        window.menuBar.menuAt(menu_index).itemAt(item_index).triggered()
        var dialog = findChild(window, dialog_name)
        tryVerify(function() { return dialog.opened }, 1000, dialog_name + " did not open")
        return dialog
    }

    function close_with_escape(dialog) {
        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !dialog.visible }, 1000, "Escape did not close the dialog")
    }

    // The Settings menu as a user meets it: faded and inert without a token, opening with one.
    function verify_settings_enabled(enabled) {
        var settings = window.menuBar.menuAt(1)
        var entry = window.menuBar.itemAt(1)
        compare(settings.enabled, enabled, "Settings menu enabled")
        compare(entry.contentItem.opacity, enabled ? 1.0 : 0.3, "Settings entry opacity")
        mouseClick(entry)
        if (enabled) {
            tryVerify(function() { return settings.opened }, 1000, "Settings did not open")
            settings.close()
            tryVerify(function() { return !settings.visible })
        } else {
            verify(!settings.opened && !settings.visible, "a disabled Settings entry opened its menu")
        }
    }
}
