import QtQuick 2.12
import Larkmoor.Testing 1.0

// The code on the OTP page comes from the simulated token through the real key layer and
// must be the one an independent implementation computes for the same time.
WindowTestCase {
    name: "Code"

    function test_code_matches_oathtool_across_windows() {
        var start = now_seconds()
        launch(true, { model_time: start })
        var expected = oathtool_codes(start, 1)
        tryCompare(code_label(), "text", grouped(expected[0]), token_timeout)

        // A later window whose code starts with a zero: shown padded, copied padded, no space.
        var later = oathtool_codes(start + 30, 200)
        var k = later.findIndex(function(code) { return code.charAt(0) === "0" })
        verify(k >= 0, "no code with a leading zero in 200 windows")
        Bench.set_model_time(start + 30 * (k + 1))
        tryCompare(code_label(), "text", grouped(later[k]), token_timeout)

        mouseClick(findChild(page(), "btn_copy"))
        compare(Bench.clipboard_text(), later[k])
    }

    // Ctrl+C copies the code shown; a new window empties the old code at once, a token waiting
    // for its button brings the press prompt after a second, and a code under two seconds from
    // its end is neither shown nor copied.
    function test_a_code_is_shown_and_copied_only_while_it_is_good() {
        var start = 30 * Math.floor(now_seconds() / 30)
        launch(true, { model_time: start })
        var codes = oathtool_codes(start, 2)
        tryCompare(code_label(), "text", grouped(codes[0]), token_timeout)
        keyClick(Qt.Key_C, Qt.ControlModifier)
        compare(Bench.clipboard_text(), codes[0])

        Bench.set_token_press_mode(true)
        Bench.set_press_wait(3000)
        var information = findChild(page(), "bar_information")
        var prompt = "Press the key to get the OTP!"
        Bench.set_model_time(start + 30)
        tryCompare(code_label(), "text", "", 1500, "the old code stayed into the next window")
        var emptied = Date.now()
        verify(information.text !== prompt, "the prompt came before the token had waited")
        tryCompare(information, "text", prompt, 2000)
        verify(Date.now() - emptied >= 700, "the prompt came after " + (Date.now() - emptied) + " ms")
        compare(code_label().text, "")
        Bench.press_button()
        tryCompare(code_label(), "text", grouped(codes[1]), token_timeout)

        page().disable_otp_timer()
        main_frame.copy_to_clipboard("untouched")
        page().time_changed_at(start + 30 + 28.5)
        compare(code_label().text, "")
        var button = findChild(page(), "btn_copy")
        verify(!button.visible)
        mouseClick(button)
        keyClick(Qt.Key_C, Qt.ControlModifier)
        compare(Bench.clipboard_text(), "untouched")
    }

    function test_press_mode_token_shows_its_code_once_pressed() {
        var start = now_seconds()
        launch(true, { model_time: start, press_wait: 250 })
        var information = findChild(page(), "bar_information")
        tryCompare(information, "text", "Press the key to get the OTP!", token_timeout)
        compare(information.color, "#ff0000")
        compare(code_label().text, "")
        verify(!findChild(page(), "btn_copy").visible)

        Bench.press_button()
        tryCompare(code_label(), "text", grouped(oathtool_codes(start, 1)[0]), token_timeout)
        compare(information.text, "")
    }
}
