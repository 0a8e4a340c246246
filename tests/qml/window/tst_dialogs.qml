import QtQuick 2.12
import Larkmoor.Testing 1.0

// Menus, shortcuts and dialogs over a token whose model clock stands still: once the code is
// shown the page starts no more key access, so only the dialogs talk to the token.
WindowTestCase {
    name: "Dialogs"

    function init() {
        launch(true, Date.now() / 1000)
        wait_for_a_code()
    }

    function test_preferences_switch_press_mode() {
        var preferences = open_from_menu(1, 0, "dialog_preferences")
        var ok = findChild(window, "msg_press_mode_ok")
        var error = findChild(window, "msg_press_mode_error")
        var waiting = find_item(preferences.contentItem, function(item) { return item.objectName === "label_press_mode_waiting" })
        // Button, its key (none: a click), the status word the token answers with (none: its own),
        // result dialog and text, press mode on the token after it. An unknown word is a refusal too.
        var rows = [["Enable Key Press", Qt.Key_Return, null, ok, "Press Mode Enabled.", true],
                    ["Enable Key Press", null, null, ok, "Press Mode Enabled.", true],
                    ["Disable Key Press", Qt.Key_Space, null, ok, "Press Mode Disabled.", false],
                    ["Enable Key Press", null, [0x6D, 0x00], error, "This key doesn't support it.", false],
                    ["Enable Key Press", null, [0x6F, 0x42], error, "This key doesn't support it.", false]]
        for (var i = 0; i < rows.length; ++i) {
            var row = rows[i]
            if (row[2])
                Bench.answer_next_command_with(row[2][0], row[2][1])
            // The last one on a slow token: the click does not block, and the dialog says it waits.
            Bench.set_answer_delay(i === rows.length - 1 ? 2500 : 0)
            var clicked_at = Date.now()
            if (row[1])
                press_by_keyboard(button_in(preferences, row[0]), row[1])
            else
                mouseClick(button_in(preferences, row[0]))
            if (i === rows.length - 1) {
                // Far below the token's delay, so a slow build does not fail a click that did not block.
                verify(Date.now() - clicked_at < 1500, "the click blocked the window for " + (Date.now() - clicked_at) + " ms")
                verify(waiting.visible && !button_in(preferences, "Enable Key Press").enabled, "no wait shown")
            }
            tryVerify(function() { return row[3].opened }, token_timeout, "no result dialog for row " + i)
            verify(with_text(row[3].contentItem, row[4]) !== null, "row " + i + " did not show " + row[4])
            compare(Bench.token_press_mode(), row[5], "row " + i)
            verify(preferences.opened && !waiting.visible, "the preferences dialog stays open under the result")
            close_with_escape(row[3])
        }
        verify(Date.now() - clicked_at >= 2000, "a result before the slow token answered")

        // Pulled out while a switch is pending: the error follows.
        mouseClick(button_in(preferences, "Disable Key Press"))
        Bench.plug(false)
        main_frame.hid_change_event()
        tryVerify(function() { return error.opened }, token_timeout, "no error when the token left")
        close_with_escape(error)
        press_by_keyboard(button_in(preferences, "x"), Qt.Key_Enter)
        tryVerify(function() { return !preferences.visible }, 1000, "Enter on x did not close the dialog")
    }

    // One read per opening: the press hint only once the token has waited for its button, a
    // sentence when the read fails, and a new read when the dialog is opened again.
    function test_token_info_reads_once_per_opening() {
        Bench.answer_next_command_with(0x6D, 0x00)
        var dialog = open_from_menu(1, 1, "dialog_token_info")
        var body = dialog.contentChildren[0]
        tryCompare(body, "text", "Failed to read the key.\nOpen Token Info again to retry.", token_timeout)
        compare(String(body.color), "#ff0000")
        close_with_escape(dialog)

        Bench.set_token_press_mode(true)
        Bench.set_press_wait(8000)
        dialog = open_from_menu(1, 1, "dialog_token_info")
        compare(body.text, "Reading the key…")
        // Its size settled before the text comes.
        var size = [dialog.width, dialog.height]
        tryCompare(body, "text", "If you are in Press Mode, \nthe key requires press to get token info", token_timeout)
        Bench.press_button()
        var info = "Serial Number: SIM0000001\nAlgorithm: TOTP\nHash: SHA-1"
        tryCompare(body, "text", info, token_timeout)
        compare([dialog.width, dialog.height], size)
        compare(String(body.color), "#000000")
        close_with_escape(dialog)

        // Known now: shown at once, selectable (so it can be copied), and not read again.
        var asked = Bench.commands_received()
        dialog = open_from_menu(1, 1, "dialog_token_info")
        compare(body.text, info)
        verify(Bench.token_requests_done())
        compare(Bench.commands_received(), asked)
        mouseDrag(body, 1, body.height / 4, body.width + 10, 0)
        verify(body.selectedText.length > 5 && info.indexOf(body.selectedText) >= 0, "selected: " + body.selectedText)
        close_with_escape(dialog)
    }

    // Titles read "File", "Settings", "Help" and open with Alt and their underlined first letter, at their first entry;
    // an entry shows its key; F1 takes the menu's path; a dialog closes with Escape, not with a
    // click outside. (Ctrl+Q: the e2e test.)
    function test_menus_shortcuts_and_help() {
        var titles = [["<u>F</u>ile", Qt.Key_F], ["<u>S</u>ettings", Qt.Key_S], ["<u>H</u>elp", Qt.Key_H]]
        for (var i = 0; i < titles.length; ++i) {
            var menu = window.menuBar.menuAt(i)
            compare(window.menuBar.itemAt(i).contentItem.text, titles[i][0])
            compare(shortcut_shown(menu.itemAt(0)), ["Ctrl+Q", "", "F1"][i])
            keyClick(titles[i][1], Qt.AltModifier)
            tryVerify(function() { return menu.opened }, 1000, "Alt did not open " + titles[i][0])
            // Its first entry takes the focus, which is what a screen reader announces.
            tryVerify(function() { return menu.itemAt(0).activeFocus }, 1000, "no entry of " + titles[i][0] + " has the focus")
            close_with_escape(menu)
        }

        var help = findChild(window, "dialog_help")
        keyClick(Qt.Key_F1)
        window.menuBar.menuAt(2).itemAt(0).triggered()
        compare(Bench.opened_files.slice(-2), [help_page, help_page])
        verify(!help.visible, "the built-in help opened beside the browser")
        // Without a page to hand to the desktop (or a launcher for it): the same page inside the window.
        Bench.publish("help_html", "<h2 id=\"token-not-found\">Token not found?</h2><p>Run <code>larkmoor-cli doctor</code>.</p>")
        Bench.publish("help_url", "")
        var opened = Bench.opened_files.length
        window.menuBar.menuAt(2).itemAt(0).triggered()
        tryVerify(function() { return help.opened }, 1000, "no built-in help without a launcher")
        compare(Bench.opened_files.length, opened)
        var help_text = findChild(help.contentItem, "help_text")
        verify(help_text.text.indexOf("larkmoor-cli doctor") >= 0)
        // Read line by line: the arrows move the caret, which a screen reader follows.
        keyClick(Qt.Key_Down)
        verify(help_text.activeFocus && help_text.cursorPosition > 0, "Down does not move the caret")
        close_with_escape(help)

        var about = open_from_menu(2, 1, "dialog_about")
        // The version --version prints, and where the log is, selectable.
        compare([findChild(about.contentItem, "about_version").text, findChild(about.contentItem, "about_log_path").text],
                ["Larkmoor " + app_version, log_file_path])
        mouseClick(window.contentItem, 3, window.contentItem.height - 3)
        verify(about.opened, "a click outside closed the dialog")
        close_with_escape(about)
    }
}
