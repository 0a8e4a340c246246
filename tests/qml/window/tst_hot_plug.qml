import QtQuick 2.12
import Larkmoor.Testing 1.0

// Which page the window shows, and whether Settings opens, as the token comes and goes.
WindowTestCase {
    name: "HotPlug"

    // Faded and inert without a token; with one it opens, from the keyboard too.
    function verify_settings(enabled) {
        var settings = window.menuBar.menuAt(1)
        compare([settings.enabled, window.menuBar.itemAt(1).contentItem.opacity], [enabled, enabled ? 1 : 0.3])
        if (enabled) {
            keyClick(Qt.Key_S, Qt.AltModifier)
            tryVerify(function() { return settings.opened }, 1000, "Settings did not open")
            close_with_escape(settings)
        } else {
            mouseClick(window.menuBar.itemAt(1))
            verify(!settings.visible, "a disabled Settings entry opened its menu")
        }
    }

    function verify_page(with_token) {
        tryVerify(function() { return on_otp_page() === with_token }, 1000, "the page does not follow the token")
        compare([findChild(window, "stackView").depth, otp_status !== null], [1, with_token])
        verify_settings(with_token)
        if (with_token)
            wait_for_a_code()
    }

    // The no-key page's link opens the help at its section, from the keyboard too; the focus
    // comes back from the help and stays visible after a click.
    function verify_help_link() {
        var link = part("token_not_found")
        var frame = findChild(link, "focus_frame")
        keyClick(Qt.Key_Tab)
        verify(link.activeFocus && frame.visible, "Tab shows no focus on the link")
        keyClick(Qt.Key_Return)
        compare(Bench.opened_files.slice(-1), [help_page + "#token-not-found"])

        // Inside the window: at the section, and the page keys scroll it.
        var filler = new Array(40).join("<p>Text before the section.</p>")
        Bench.publish("help_html", "<h2>Larkmoor</h2>" + filler + "<h2 id=\"token-not-found\">Token not found?</h2>" + filler)
        Bench.publish("help_url", "")
        mouseClick(link)
        var help = findChild(window, "dialog_help")
        var view = findChild(window, "help_view")
        tryVerify(function() { return help.opened }, 1000, "the link opened no help")
        var text = findChild(view, "help_text")
        var heading = text.positionToRectangle(text.getText(0, text.length).indexOf("Token not found?")).y
        verify(heading > view.height && heading >= view.contentY && heading < view.contentY + 20, "the section is not at the top: " + view.contentY)
        var keys = [[Qt.Key_Home, 0], [Qt.Key_PageDown, view.height - 20], [Qt.Key_PageDown, 2 * (view.height - 20)],
                    [Qt.Key_PageUp, view.height - 20], [Qt.Key_End, view.contentHeight - view.height]]
        for (var i = 0; i < keys.length; ++i) {
            keyClick(keys[i][0])
            compare(view.contentY, keys[i][1], "key " + i)
        }
        close_with_escape(help)
        // Back where it was, but clicked: the frame waits for the keyboard, even where Tab has nowhere else to go.
        verify(link.activeFocus && !frame.visible, "the focus did not come back, or shows after a click")
        keyClick(Qt.Key_Tab)
        verify(link.activeFocus && frame.visible, "Tab shows no focus after a click")
        Bench.publish("help_url", help_page)
    }

    function test_pages_follow_the_token() {
        launch(false)
        verify_page(false)
        var no_key = with_text(page(), "No Key Detected!")
        var guidance = part("no_key_guidance")
        compare(no_key.font.pixelSize, 20)
        verify(guidance.font.pixelSize < 20 && guidance.y >= no_key.y + no_key.height, "the guidance overlaps the heading")
        // The one alert the AT-SPI test cannot bring up: only a token that refuses shows it.
        compare(with_text(findChild(window, "msg_press_mode_error").contentItem, "This key doesn't support it.").Accessible.role,
                Accessible.Notification)
        verify_help_link()
        var help = window.menuBar.menuAt(2)
        mouseClick(window.menuBar.itemAt(2))
        tryVerify(function() { return help.opened }, 1000, "Help did not open without a token")
        close_with_escape(help)

        Bench.plug(true)
        main_frame.hid_change_event()
        verify_page(true)
        wait_for_a_code()
        // The page's clock is the system's, in seconds; the count goes on while a window's last
        // seconds hide the code.
        var expected = 30 - (Date.now() / 1000) % 30
        page().time_changed()
        var shown = otp_status.seconds_left
        verify((30 + shown - Math.floor(expected)) % 30 <= 1, "seconds left " + shown)

        Bench.plug(false)
        main_frame.hid_change_event()
        verify_page(false)
        Bench.plug(true)
        main_frame.hid_change_event()
        verify_page(true)

        // Pulled out and back in before the window hears of it: one rescan replaces the model.
        var replugged_page = page()
        Bench.plug(false)
        Bench.plug(true)
        main_frame.hid_change_event()
        tryVerify(function() { return page() !== replugged_page }, 1000, "the page of the dead model stayed")
        verify_page(true)
    }
}
