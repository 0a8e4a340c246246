import QtQuick 2.12
import QtTest 1.2
import Larkmoor.Testing 1.0

TestCase {
    id: test
    name: "Window"
    when: windowShown

    property var window: null

    StandInMainFrame {
        id: frame
    }

    StandInOtpStatus {
        id: status
    }

    readonly property string help_page: "file:///opt/larkmoor/help.html"

    function initTestCase() {
        Harness.publish("main_frame", frame)
        Harness.publish("help_url", help_page)
    }

    function init() {
        status.token_info = ""
        status.finish_press_mode(false)
        status.deliver(0, 6, "")
        Harness.publish("otp_status", status)
        Harness.begin_capture()
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        window.requestActivate()
        tryVerify(function() { return window.active })
        frame.show_otp_status()
        tryVerify(function() { return is_otp_page(stack().currentItem) })
        verify(waitForRendering(window.contentItem))
    }

    function cleanup() {
        window.destroy()
        window = null
        wait(0)
        compare(Harness.end_capture(), [], "Qt warnings")
    }

    function stack() {
        return findChild(window, "stackView")
    }

    function is_otp_page(page) {
        return page !== null && typeof page.time_changed === "function"
    }

    function page_timer_running() {
        return findChild(stack().currentItem, "otp_timer").running
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

    function test_pages_and_settings_follow_the_model() {
        var settings = window.menuBar.menuAt(1)
        var settings_entry = window.menuBar.itemAt(1)

        Harness.publish_null("otp_status")
        frame.show_otp_status()
        tryVerify(function() { return !is_otp_page(stack().currentItem) })
        compare(stack().depth, 1)
        compare(settings_entry.contentItem.opacity, 0.3)
        var no_key = find_item(stack().currentItem, function(item) { return item.text === "No Key Detected!" })
        var guidance = findChild(stack().currentItem, "no_key_guidance")
        compare(no_key.font.pixelSize, 20)
        verify(guidance.text.indexOf("Token not found?") >= 0, guidance.text)
        verify(guidance.y >= no_key.y + no_key.height, "the guidance overlaps the heading")
        verify(guidance.font.pixelSize < 20)
        mouseClick(settings_entry)
        wait(50)
        verify(!settings.visible, "a disabled Settings entry opened its menu")

        Harness.publish("otp_status", status)
        frame.show_otp_status()
        tryVerify(function() { return is_otp_page(stack().currentItem) })
        compare(stack().depth, 1)
        mouseClick(settings_entry)
        tryVerify(function() { return settings.opened })
        settings.close()
    }

    // The switch answers later; meanwhile the dialog says it waits and takes no second request.
    function test_press_mode_results() {
        var preferences = open_from_menu(1, 0, "dialog_preferences")
        var ok = findChild(window, "msg_press_mode_ok")
        var error = findChild(window, "msg_press_mode_error")
        var waiting = find_item(preferences.contentItem, function(item) { return item.objectName === "label_press_mode_waiting" })
        var requests = status.press_mode_requests.length

        var clicks = [
            { button: "Enable Key Press", accepted: true, shows: ok, text: "Press Mode Enabled." },
            { button: "Enable Key Press", accepted: true, shows: ok, text: "Press Mode Enabled." },
            { button: "Disable Key Press", accepted: true, shows: ok, text: "Press Mode Disabled." },
            { button: "Enable Key Press", accepted: false, shows: error, text: "This key doesn't support it." }
        ]
        for (var i = 0; i < clicks.length; ++i) {
            var click = clicks[i]
            verify(!waiting.visible)
            mouseClick(button_in(preferences, click.button))
            verify(waiting.visible, "no waiting text after click " + i)
            verify(!button_in(preferences, "Enable Key Press").enabled && !button_in(preferences, "Disable Key Press").enabled,
                   "buttons usable while a switch is pending")
            status.finish_press_mode(click.accepted)
            tryVerify(function() { return click.shows.opened }, 1000, "no result dialog after click " + i)
            verify(find_item(click.shows.contentItem, function(item) { return item.text === click.text }) !== null,
                   "click " + i + " did not show " + click.text)
            verify(preferences.opened, "the preferences dialog stays open under the result")
            verify(!waiting.visible && button_in(preferences, "Enable Key Press").enabled)
            click.shows.close()
            tryVerify(function() { return !click.shows.visible })
        }
        compare(status.press_mode_requests.slice(requests), [true, true, false, true])

        // The token leaves while the switch is pending: the model is withdrawn, the error follows.
        mouseClick(button_in(preferences, "Enable Key Press"))
        Harness.publish_null("otp_status")
        tryVerify(function() { return error.opened }, 1000, "no error when the model left")
        verify(!waiting.visible)
        error.close()
        Harness.publish("otp_status", status)
    }

    // Tab reaches every button of a dialog, Enter, Return and Space press it, and the focus shows.
    function test_dialog_buttons_by_keyboard() {
        var preferences = open_from_menu(1, 0, "dialog_preferences")
        var ok = findChild(window, "msg_press_mode_ok")
        var presses = [["Enable Key Press", Qt.Key_Return, true], ["Disable Key Press", Qt.Key_Space, false],
                       ["x", Qt.Key_Enter, null]]
        for (var i = 0; i < presses.length; ++i) {
            var button = button_in(preferences, presses[i][0])
            for (var tabs = 0; tabs < 6 && !button.activeFocus; ++tabs)
                keyClick(Qt.Key_Tab)
            verify(button.activeFocus && button.visualFocus, "Tab does not reach " + presses[i][0])
            var frame = findChild(button, "focus_frame")
            verify(frame !== null ? frame.visible : button.background.border.width > 0, presses[i][0] + " shows no focus")
            var requests = status.press_mode_requests.length
            keyClick(presses[i][1])
            if (presses[i][2] === null)
                break
            compare(status.press_mode_requests.slice(requests), [presses[i][2]], "key " + i)
            status.finish_press_mode(true)
            tryVerify(function() { return ok.opened })
            ok.close()
            tryVerify(function() { return !ok.visible })
        }
        tryVerify(function() { return !preferences.visible }, 1000, "Enter on x did not close the dialog")
    }

    // Ctrl+C copies exactly the code shown, with the same confirmation as the button, and
    // nothing while no code is shown; Ctrl+Q and F1 take the menu's own paths.
    function test_shortcuts() {
        var page = stack().currentItem
        status.deliver(1234, 6, "")
        var copies = frame.copied.length
        keyClick(Qt.Key_C, Qt.ControlModifier)
        compare(frame.copied.slice(copies), ["001234"])
        verify(findChild(page, "copied_note").visible)

        status.otp = 0
        compare(findChild(page, "otp_value_bar").text, "")
        keyClick(Qt.Key_C, Qt.ControlModifier)
        compare(frame.copied.length, copies + 1, "Ctrl+C copied without a code on screen")

        var opened = Harness.opened_files.length
        keyClick(Qt.Key_F1)
        compare(Harness.opened_files.slice(opened), [help_page])

        var closes = 0
        var refuse = function(close) { ++closes; close.accepted = false }
        window.closing.connect(refuse)
        keyClick(Qt.Key_Q, Qt.ControlModifier)
        compare(closes, 1, "Ctrl+Q did not close the window")
        mouseClick(window.menuBar.itemAt(0))
        tryVerify(function() { return window.menuBar.menuAt(0).opened })
        mouseClick(window.menuBar.menuAt(0).itemAt(0))
        compare(closes, 2, "File > Exit did not close the window")
        window.closing.disconnect(refuse)
    }

    // Titles read "File", "Settings", "Help" and open with Alt and their first letter.
    function test_menus_by_access_key() {
        var titles = ["File", "Settings", "Help"]
        var keys = [Qt.Key_F, Qt.Key_S, Qt.Key_H]
        for (var i = 0; i < titles.length; ++i) {
            var menu = window.menuBar.menuAt(i)
            compare(window.menuBar.itemAt(i).contentItem.text, titles[i])
            keyClick(keys[i], Qt.AltModifier)
            tryVerify(function() { return menu.opened }, 1000, "Alt did not open " + titles[i])
            keyClick(Qt.Key_Escape)
            tryVerify(function() { return !menu.visible })
        }
    }

    function test_token_info_polls_until_the_text_arrives() {
        var dialog = open_from_menu(1, 1, "dialog_token_info")
        var timer = findChild(window, "timer_token_info")
        var body = dialog.contentChildren[0]
        verify(timer.running)
        verify(!page_timer_running(), "the page keeps refreshing while token info is polled")
        compare(body.text, "If you are in Press Mode, \nthe key requires press to get token info")
        compare(body.color, "#ff0000")
        var queries = status.token_info_queries
        tryVerify(function() { return status.token_info_queries >= queries + 2 }, 2000)

        status.token_info = "Serial Number: SIM0000001"
        verify(!timer.running, "polling goes on after the text arrived")
        compare(body.text, "Serial Number: SIM0000001")
        compare(body.color, "#000000")

        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !dialog.visible })
        verify(page_timer_running(), "closing did not restart the page's refresh")
    }

    function test_known_token_info_shows_at_once_without_polling() {
        status.token_info = "Serial Number: SIM0000001"
        var dialog = open_from_menu(1, 1, "dialog_token_info")
        var body = dialog.contentChildren[0]
        verify(!findChild(window, "timer_token_info").running)
        verify(page_timer_running())
        compare(body.color, "#000000")
        // The serial number can be selected with the mouse, and so copied.
        mouseDrag(body, 1, body.height / 2, body.width + 10, 0)
        compare(body.selectedText, "Serial Number: SIM0000001")
        dialog.close()
    }

    function test_token_info_closed_after_the_token_left() {
        var dialog = open_from_menu(1, 1, "dialog_token_info")
        var timer = findChild(window, "timer_token_info")
        verify(timer.running)

        Harness.publish_null("otp_status")
        frame.show_otp_status()
        tryVerify(function() { return !is_otp_page(stack().currentItem) })
        wait(400)
        dialog.close()
        tryVerify(function() { return !dialog.visible })
        verify(!timer.running)
    }

    function test_online_help_opens_the_help_page() {
        var help = findChild(window, "dialog_help")
        var opened = Harness.opened_files.length
        window.menuBar.menuAt(2).itemAt(0).triggered()
        compare(Harness.opened_files.length, opened + 1)
        compare(Harness.opened_files[opened], help_page)
        verify(!help.visible, "the built-in help opened beside the browser")

        // Without a page to hand to the desktop (or a launcher for it): the same page inside the window.
        Harness.publish("help_html", "<h2>Token not found?</h2><p>Run <code>larkmoor-cli doctor</code>.</p>")
        Harness.publish("help_url", "")
        window.menuBar.menuAt(2).itemAt(0).triggered()
        Harness.publish("help_url", help_page)
        tryVerify(function() { return help.opened }, 1000, "no built-in help without a launcher")
        compare(Harness.opened_files.length, opened + 1)
        verify(findChild(help.contentItem, "help_text").text.indexOf("larkmoor-cli doctor") >= 0)
        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !help.visible })
    }

    function test_escape_closes_a_dialog_a_click_outside_does_not() {
        var about = open_from_menu(2, 1, "dialog_about")
        compare(about.x, (about.parent.width - about.width) / 2)
        compare(about.y, (about.parent.height - about.height) / 2)

        mouseClick(window.contentItem, 3, window.contentItem.height - 3)
        wait(50)
        verify(about.opened, "a click outside closed the dialog")
        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !about.visible })

        about.open()
        tryVerify(function() { return about.opened })
        mouseClick(find_item(about.header, function(item) { return item.text === "x" }))
        tryVerify(function() { return !about.visible })
    }
}
