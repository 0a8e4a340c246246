import QtQuick 2.12
import Larkmoor.Testing 1.0

// The code comes from the simulated token through the real key layer and must be oathtool's;
// it is shown and copied only while it is good.
WindowTestCase {
    name: "Code"

    // Another program's text on the clipboard.
    function put_on_clipboard(text) {
        var input = Qt.createQmlObject("import QtQuick 2.12; TextInput { text: '" + text + "' }", window.contentItem)
        input.selectAll(), input.copy(), input.destroy()
    }

    function test_code_is_oathtools_and_only_a_good_one_is_shown_or_copied() {
        // A window whose code starts with a zero: shown padded, copied padded, without the space
        // (the button pressed from the keyboard here; the e2e test clicks it).
        var now = 30 * Math.floor(Date.now() / 30000)
        var codes = Bench.oathtool_codes(now, 200)
        var k = codes.findIndex(function(code) { return /^0[0-9]+$/.test(code) })
        verify(k >= 0 && k < 197, "oathtool: " + codes.slice(0, 3))
        var t = now + 30 * k
        launch(true, t)
        tryCompare(code_label(), "text", grouped(codes[k]), token_timeout)
        // The halves of 6, 7 and 8 digits, the shorter first.
        compare(["001234", "1234567", "00000090"].map(page().grouped), ["001 234", "123 4567", "0000 0090"])

        // The code box is the page's Tab stop; its focus stays shown after the mouse copies,
        // and Space copies.
        var box = code_label()
        verify(box.activeFocus, "the code box does not have the keyboard")
        keyClick(Qt.Key_Tab)
        mouseClick(part("btn_copy"))
        verify(box.activeFocus && String(box.background.border.color) === String(box.palette.highlight),
               "the focus is not shown after a click")
        var note = part("copied_note")
        put_on_clipboard("-")
        keyClick(Qt.Key_Space)
        compare(Bench.clipboard_text(), codes[k])
        verify(note.visible && note.text === "Copied", "no confirmation")
        verify(note.y + note.height <= code_label().y, "the confirmation covers the code")

        // The next window on a token waiting for its button: no earlier code, the prompt after a second.
        Bench.set_token_press_mode(true)
        Bench.set_press_wait(5000)
        var information = part("bar_information")
        var prompt = "Press the key to get the OTP!"
        Bench.set_model_time(t + 30)
        tick(t + 30)
        tryCompare(code_label(), "text", "", 300, "the old code stayed into the next window")
        verify(box.activeFocus, "the focus left the code box with its code")
        var emptied = Date.now()
        verify(information.text !== prompt, "the prompt came before the token had waited")
        tryCompare(information, "text", prompt, 2000)
        verify(Date.now() - emptied >= 700, "the prompt came after " + (Date.now() - emptied) + " ms")
        compare(information.color, "#ff0000")
        compare(code_label().width, 200)
        verify(!part("btn_copy").visible)
        Bench.press_button()
        Bench.set_token_press_mode(false)
        tryCompare(code_label(), "text", grouped(codes[k + 1]), token_timeout)
        compare(information.text, "")
        // Said to a screen reader, which does not read out the changed name of a focused text.
        verify(part("code_news").visible && part("code_news").text.indexOf(grouped(codes[k + 1])) > 0,
               "the new code is not announced")
        tryVerify(function() { return !note.visible }, 1000, "the confirmation stays")
        keyClick(Qt.Key_C, Qt.ControlModifier)
        compare(Bench.clipboard_text(), codes[k + 1])

        // Under two seconds from its end a code leaves the screen, and no key nor click copies.
        var countdown = part("bar_left_time")
        put_on_clipboard("untouched")
        tick(t + 30 + 12.4)
        compare(countdown.text, "17 seconds left")
        tick(t + 30 + 28.0)
        compare(code_label().text, grouped(codes[k + 1]), "two whole seconds left keep the code")
        // A key at 28.05 s copies nothing, though the last tick showed the code, and takes it away.
        Bench.set_model_time(t + 30 + 28.05)
        note.visible = false
        keyClick(Qt.Key_C, Qt.ControlModifier)
        compare([note.visible, code_label().text], [false, "Next code in 2 seconds"])
        tick(t + 30 + 28.1)
        // The prompt shown behind the code before it came goes with it; the box says when the
        // next code comes.
        compare([code_label().text, countdown.text, information.text, part("btn_copy").visible],
                ["Next code in 2 seconds", "", "", false])
        // One second left, as at 28.1: only the seconds to the next code change.
        tick(t + 30 + 29.0)
        compare(code_label().text, "Next code in 1 second")
        mouseClick(part("btn_copy"))
        keyClick(Qt.Key_C, Qt.ControlModifier)
        keyClick(Qt.Key_Space)
        keyClick(Qt.Key_Return)
        compare(Bench.clipboard_text(), "untouched")

        tick(t + 60.2)
        tryCompare(code_label(), "text", grouped(codes[k + 2]), token_timeout)
        compare(countdown.text, "29 seconds left")
    }
}
