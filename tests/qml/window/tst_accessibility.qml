import QtQuick 2.12
import QtQuick.Controls 2.12
import Larkmoor.Testing 1.0

// What a screen reader gets: every control of both pages, the menus and each dialog has a name
// and a role; dialogs carry their titles, menus theirs.
WindowTestCase {
    name: "Accessibility"

    function interactive(item) {
        return typeof item.clicked === "function" || typeof item.triggered === "function" || item.activeFocusOnTab
    }

    // Every visible interactive item under root, each checked as the bridge reads it.
    function verify_controls(root, where) {
        var count = 0
        var walk = function(item) {
            if (!item.visible)
                return
            if (interactive(item)) {
                var seen = Accessibility.describe(item)
                verify(seen.name !== "" && seen.role > 0,
                       where + ": " + item + " '" + (item.text || "") + "' has role " + seen.role + ", name '" + seen.name + "'")
                ++count
            }
            for (var i = 0; i < item.children.length; ++i)
                walk(item.children[i])
        }
        walk(root)
        return count
    }

    function verify_popup(popup, role, name) {
        var seen = Accessibility.describe(popup.contentItem.parent)
        compare([seen.role, seen.name], [role, name])
    }

    function verify_window(where) {
        // Made before the screen reader "starts": the controls fill in their roles on activation.
        Accessibility.activate()
        verify(verify_controls(window.contentItem, where) >= 3, where + ": the menu bar is not walked")
        var bar = window.menuBar
        for (var i = 0; i < bar.count; ++i) {
            var menu = bar.menuAt(i)
            compare(Accessibility.describe(bar.itemAt(i)).name, menu.title)
            verify_popup(menu, Accessible.PopupMenu, menu.title)
            // Qt Quick cannot report the disabled state: the description does.
            compare(bar.itemAt(i).Accessible.description !== "", !menu.enabled, menu.title)
            if (!menu.enabled)
                continue
            menu.open()
            tryVerify(function() { return menu.opened })
            verify(verify_controls(menu.contentItem.parent, menu.title) === menu.count)
            menu.close()
        }
        var dialogs = ["dialog_about", "dialog_help", "msg_press_mode_ok", "msg_press_mode_error"]
        if (on_otp_page())
            dialogs.push("dialog_preferences", "dialog_token_info")
        for (i = 0; i < dialogs.length; ++i) {
            var dialog = findChild(window, dialogs[i])
            dialog.open()
            tryVerify(function() { return dialog.opened })
            verify_popup(dialog, Accessible.Dialog, dialog.titleText)
            verify(verify_controls(dialog.contentItem.parent, dialogs[i]) >= 1)
            compare(Accessibility.describe(findChild(dialog.contentItem.parent, "close_button")).name, "Close")
            close_with_escape(dialog)
        }
    }

    function test_every_control_has_a_name_and_a_role() {
        launch(false)
        verify_window("no key")
        Bench.plug(true)
        main_frame.hid_change_event()
        wait_for_a_code()
        verify_window("OTP page")
    }

    // Messages that appear by themselves are alerts; the texts of the dialogs are readable.
    function test_alerts_and_texts() {
        launch(false)
        Accessibility.activate()
        var alerts = [with_text(page(), "No Key Detected!"),
                      with_text(findChild(window, "msg_press_mode_error").contentItem, "This key doesn't support it."),
                      findChild(window, "label_press_mode_waiting")]
        for (var i = 0; i < alerts.length; ++i)
            compare(Accessibility.describe(alerts[i]).role, Accessible.Notification, alerts[i].text)
        var version = findChild(window, "about_version")
        compare(Accessibility.describe(version), {"role": Accessible.StaticText, "name": version.text,
                                                  "disabled": false, "focused": false})
        verify(Accessibility.describe(findChild(window, "help_text")).role === Accessible.Paragraph)
    }
}
