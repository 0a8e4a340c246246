import QtQuick 2.12
import Larkmoor.Testing 1.0

// Which page the window shows, and whether Settings opens, as the token comes and goes.
WindowTestCase {
    name: "HotPlug"

    function test_start_without_a_token() {
        launch(false)
        tryVerify(on_no_key_page, 1000, "the no-key page is not shown")
        compare(otp_status, null)
        verify_settings_enabled(false)

        var help = window.menuBar.menuAt(2)
        mouseClick(window.menuBar.itemAt(2))
        tryVerify(function() { return help.opened }, 1000, "Help did not open without a token")
        help.close()
    }

    function test_start_with_a_token() {
        launch(true)
        tryVerify(on_otp_page, 1000, "the OTP page is not shown")
        compare(stack().depth, 1)
        verify(otp_status !== null)
        verify_settings_enabled(true)
        wait_for_a_code()
    }

    function test_unplug_and_replug_switch_pages() {
        launch(true)
        wait_for_a_code()
        var first_page = page()

        // A token that still answers is kept: same page, nothing republished.
        hot_plug_event()
        verify(page() === first_page, "a rescan replaced the page of a working token")

        Bench.unplug()
        hot_plug_event()
        tryVerify(on_no_key_page, 1000, "the no-key page is not shown")
        compare(stack().depth, 1)
        compare(otp_status, null)
        verify_settings_enabled(false)

        Bench.plug()
        hot_plug_event()
        tryVerify(on_otp_page, 1000, "the OTP page is not shown")
        compare(stack().depth, 1)
        verify_settings_enabled(true)
        // The page binds to the republished model, which reads the replugged token afresh.
        wait_for_a_code()

        // Pulled out and back in before the window hears of it: one rescan replaces the model.
        var replugged_page = page()
        Bench.unplug()
        Bench.plug()
        hot_plug_event()
        tryVerify(function() { return page() !== replugged_page }, 1000, "the page of the dead model stayed")
        compare(stack().depth, 1)
        verify_settings_enabled(true)
        wait_for_a_code()
    }

    function test_token_plugged_in_after_start() {
        launch(false)
        tryVerify(on_no_key_page, 1000, "the no-key page is not shown")
        Bench.plug()
        hot_plug_event()
        tryVerify(on_otp_page, 1000, "the OTP page is not shown")
        verify_settings_enabled(true)
        wait_for_a_code()
    }
}
