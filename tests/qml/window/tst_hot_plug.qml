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

    function test_pages_follow_the_token() {
        launch(false)
        verify_page(false)
        var no_key = with_text(page(), "No Key Detected!")
        var guidance = part("no_key_guidance")
        compare(no_key.font.pixelSize, 20)
        verify(guidance.text.indexOf("Token not found?") >= 0 && guidance.font.pixelSize < 20, guidance.text)
        verify(guidance.y >= no_key.y + no_key.height, "the guidance overlaps the heading")
        var help = window.menuBar.menuAt(2)
        mouseClick(window.menuBar.itemAt(2))
        tryVerify(function() { return help.opened }, 1000, "Help did not open without a token")
        close_with_escape(help)

        Bench.plug(true)
        main_frame.hid_change_event()
        verify_page(true)
        // The page's clock is the system's, in seconds.
        var expected = 30 - (Date.now() / 1000) % 30
        page().time_changed()
        verify((30 + part("bar_left_time").remain - Math.floor(expected)) % 30 <= 1, "remain " + part("bar_left_time").remain)

        // A token that still answers is kept: same page, nothing republished.
        var first_page = page()
        main_frame.hid_change_event()
        verify(page() === first_page, "a rescan replaced the page of a working token")

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
