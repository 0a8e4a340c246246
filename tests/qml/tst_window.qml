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
        status.press_mode_accepted = true
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

    function test_press_mode_results() {
        var preferences = open_from_menu(1, 0, "dialog_preferences")
        var ok = findChild(window, "msg_press_mode_ok")
        var error = findChild(window, "msg_press_mode_error")

        var clicks = [
            { button: "Enable Key Press", accepted: true, shows: ok, text: "Press Mode Enabled." },
            { button: "Enable Key Press", accepted: true, shows: ok, text: "Press Mode Enabled." },
            { button: "Disable Key Press", accepted: true, shows: ok, text: "Press Mode Disabled." },
            { button: "Enable Key Press", accepted: false, shows: error, text: "This key doesn't support it." }
        ]
        for (var i = 0; i < clicks.length; ++i) {
            var click = clicks[i]
            status.press_mode_accepted = click.accepted
            mouseClick(button_in(preferences, click.button))
            tryVerify(function() { return click.shows.opened }, 1000, "no result dialog after click " + i)
            verify(find_item(click.shows.contentItem, function(item) { return item.text === click.text }) !== null,
                   "click " + i + " did not show " + click.text)
            verify(preferences.opened, "the preferences dialog stays open under the result")
            click.shows.close()
            tryVerify(function() { return !click.shows.visible })
        }
        compare(status.press_mode_requests, [true, true, false, true])
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
        verify(!findChild(window, "timer_token_info").running)
        verify(page_timer_running())
        compare(dialog.contentChildren[0].color, "#000000")
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
        var opened = Harness.opened_files.length
        window.menuBar.menuAt(2).itemAt(0).triggered()
        compare(Harness.opened_files.length, opened + 1)
        compare(Harness.opened_files[opened], help_page)
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
