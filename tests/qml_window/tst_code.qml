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
