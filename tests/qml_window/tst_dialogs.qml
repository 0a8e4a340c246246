import QtQuick 2.12
import Larkmoor.Testing 1.0

// Preferences and Token Info talking to the simulated token through the real model.
WindowTestCase {
    name: "Dialogs"

    // A frozen model clock: once the code is shown the page starts no more key access, so
    // nothing else reaches the token while a dialog talks to it.
    function launch_with_a_quiet_token() {
        launch(true, { model_time: now_seconds() })
        wait_for_a_code()
    }

    function click_and_expect(preferences, button, result, text) {
        mouseClick(button_in(preferences, button))
        tryVerify(function() { return result.opened }, token_timeout, "no result dialog for " + button)
        verify(shows_text(result, text), button + " did not show " + text)
        verify(preferences.opened, "the preferences dialog stays open under the result")
        close_with_escape(result)
    }

    function test_preferences_switch_press_mode() {
        launch_with_a_quiet_token()
        var preferences = open_from_menu(1, 0, "dialog_preferences")
        var ok = findChild(window, "msg_press_mode_ok")
        var error = findChild(window, "msg_press_mode_error")

        click_and_expect(preferences, "Enable Key Press", ok, "Press Mode Enabled.")
        verify(Bench.token_press_mode())
        click_and_expect(preferences, "Enable Key Press", ok, "Press Mode Enabled.")
        verify(Bench.token_press_mode())
        click_and_expect(preferences, "Disable Key Press", ok, "Press Mode Disabled.")
        verify(!Bench.token_press_mode())

        Bench.refuse_next_command()
        click_and_expect(preferences, "Enable Key Press", error, "This key doesn't support it.")
        verify(!Bench.token_press_mode(), "a refused switch changed the token")

        // A status word the key layer does not know is a refusal too.
        Bench.answer_next_command_with(0x6F, 0x42)
        click_and_expect(preferences, "Enable Key Press", error, "This key doesn't support it.")
        verify(!Bench.token_press_mode())

        // A slow token: the window waits with it without blocking and says so.
        Bench.set_answer_delay(1500)
        var waiting = find_item(preferences.contentItem, function(item) { return item.objectName === "label_press_mode_waiting" })
        var pressed_at = Date.now()
        mouseClick(button_in(preferences, "Enable Key Press"))
        verify(Date.now() - pressed_at < 500, "the click blocked the window for " + (Date.now() - pressed_at) + " ms")
        verify(waiting.visible, "the dialog does not show that it waits")
        tryVerify(function() { return ok.opened }, token_timeout, "no result from the slow token")
        verify(Date.now() - pressed_at >= 1000, "a result before the token answered")
        verify(shows_text(ok, "Press Mode Enabled."))
        close_with_escape(ok)
        Bench.set_answer_delay(0)

        Bench.unplug()
        click_and_expect(preferences, "Disable Key Press", error, "This key doesn't support it.")
    }

    function test_token_info_polls_until_the_token_is_pressed() {
        launch_with_a_quiet_token()
        Bench.set_token_press_mode(true)
        Bench.set_press_wait(250)
        var dialog = open_from_menu(1, 1, "dialog_token_info")
        var timer = findChild(window, "timer_token_info")
        var body = dialog.contentChildren[0]
        var hint = "If you are in Press Mode, \nthe key requires press to get token info"
        verify(timer.running, "the dialog does not poll")
        verify(!page_timer_running(), "the page keeps refreshing while token info is polled")

        var requests = Bench.user_list_requests()
        tryVerify(function() { return Bench.user_list_requests() >= requests + 2 }, token_timeout,
                  "the dialog did not ask the token again")
        compare(body.text, hint)
        compare(body.color, "#ff0000")

        Bench.press_button()
        var info = "Serial Number: " + Bench.active_serial() + "\nAlgorithm: TOTP\nHash: SHA-1\n"
        tryCompare(body, "text", info, token_timeout)
        compare(body.color, "#000000")
        verify(!timer.running, "polling goes on after the text arrived")

        close_with_escape(dialog)
        verify(page_timer_running(), "closing did not restart the page's refresh")

        // Known now: shown at once in black, and no polling starts.
        dialog = open_from_menu(1, 1, "dialog_token_info")
        compare(body.text, info)
        compare(body.color, "#000000")
        verify(!timer.running)
        verify(page_timer_running())
        close_with_escape(dialog)
    }

    function test_escape_closes_a_dialog_a_click_outside_does_not() {
        launch_with_a_quiet_token()
        var menu_entries = [[1, 0, "dialog_preferences"], [1, 1, "dialog_token_info"], [2, 1, "dialog_about"]]
        for (var i = 0; i < menu_entries.length; ++i) {
            var entry = menu_entries[i]
            var dialog = open_from_menu(entry[0], entry[1], entry[2])
            mouseClick(window.contentItem, 3, window.contentItem.height - 3)
            verify(dialog.opened, "a click outside closed " + entry[2])
            close_with_escape(dialog)
        }
    }
}
