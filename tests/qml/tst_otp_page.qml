import QtQuick 2.12
import QtTest 1.2
import Larkmoor.Testing 1.0

TestCase {
    id: test
    name: "OtpPage"
    when: windowShown
    // A test case is hidden by default; the page's buttons need a visible parent to be clicked.
    visible: true
    width: 320
    height: 230

    // Seconds since the epoch at the start of a 30-second step.
    readonly property real step_start: 1700000010

    property var page: null

    StandInOtpStatus {
        id: status
    }

    StandInMainFrame {
        id: frame
    }

    function part(name) {
        var found = findChild(page, name)
        verify(found !== null, "no " + name + " on the page")
        return found
    }

    function init() {
        Harness.publish("otp_status", status)
        Harness.publish("main_frame", frame)
        status.deliver(0, 6, "")
        Harness.begin_capture()
        var component = Qt.createComponent("qrc:/otp_status_view.qml")
        compare(component.status, Component.Ready, component.errorString())
        page = component.createObject(test, { width: 320, height: 230 })
        // Ticks are driven by hand unless a test says otherwise.
        page.disable_otp_timer()
    }

    function cleanup() {
        page.destroy()
        page = null
        wait(0)
        compare(Harness.end_capture(), [], "Qt warnings")
    }

    function test_code_shown_grouped_and_copied_without_space_data() {
        return [
            { tag: "6 digits", code: 123456, digits: 6, shown: "123 456", copied: "123456" },
            { tag: "6 digits, two leading zeros", code: 1234, digits: 6, shown: "001 234", copied: "001234" },
            { tag: "6 digits, four leading zeros", code: 12, digits: 6, shown: "000 012", copied: "000012" },
            { tag: "7 digits", code: 1234567, digits: 7, shown: "123 4567", copied: "1234567" },
            { tag: "8 digits", code: 12345678, digits: 8, shown: "1234 5678", copied: "12345678" },
            { tag: "8 digits, leading zeros", code: 90, digits: 8, shown: "0000 0090", copied: "00000090" }
        ]
    }

    function test_code_shown_grouped_and_copied_without_space(data) {
        compare(page.pad(data.code, data.digits, " "), data.shown)
        compare(page.pad(data.code, data.digits, ""), data.copied)

        status.deliver(data.code, data.digits, "")
        compare(part("otp_value_bar").text, data.shown)

        var copies = frame.copied.length
        var button = part("btn_copy")
        verify(button.visible)
        waitForRendering(page)
        mouseClick(button)
        compare(frame.copied.length, copies + 1)
        compare(frame.copied[copies], data.copied)
    }

    function test_countdown_and_end_of_step() {
        status.deliver(123456, 6, "")
        var countdown = part("bar_left_time")
        var calls = status.response_calls

        page.time_changed_at(step_start + 12.4)
        compare(countdown.remain, 17)
        compare(countdown.text, "17 seconds left")
        compare(status.otp, 123456)
        compare(status.response_calls, calls + 1)

        page.time_changed_at(step_start + 28.0)
        compare(countdown.remain, 2)
        compare(status.otp, 123456, "two whole seconds left keep the code")

        page.time_changed_at(step_start + 28.1)
        compare(countdown.remain, 1)
        compare(status.otp, 0, "under two seconds left drop the code")
        compare(status.response_calls, calls + 3)

        // The write notifies: a code about to expire leaves the screen at once.
        compare(part("otp_value_bar").text, "")
        verify(!part("btn_copy").visible)
        compare(countdown.text, "")

        status.deliver(654321, 6, "")
        page.time_changed_at(step_start + 30.2)
        compare(part("otp_value_bar").text, "654 321")
        compare(countdown.text, "29 seconds left")
    }

    function test_tick_reads_the_clock_in_seconds() {
        status.deliver(123456, 6, "")
        var before = 30 - (Date.now() / 1000) % 30
        page.time_changed()
        var after = 30 - (Date.now() / 1000) % 30
        var remain = part("bar_left_time").remain
        // A step boundary between the two readings makes "after" jump up; accept either side.
        verify(remain <= Math.floor(Math.max(before, after)) && remain >= Math.floor(Math.min(before, after)),
               "remain " + remain + " outside " + after + ".." + before)
    }

    function test_error_label_only_without_code() {
        status.deliver(0, 6, "Please press the key")
        compare(part("bar_information").text, "Please press the key")
        compare(part("bar_information").color, "#ff0000")
        compare(part("bar_left_time").text, "")
        compare(part("otp_value_bar").text, "")
        compare(part("otp_value_bar").width, 200)

        // The model never clears its message; a code hides it.
        status.deliver(4321, 6, "Please press the key")
        compare(part("bar_information").text, "")
        compare(part("bar_left_time").text, "0 seconds left", "remain is 0 before the first tick")
        compare(part("otp_value_bar").width, part("otp_value_bar").implicitWidth)
    }

    // Shown above the code, so nothing else moves, and gone again after a moment.
    function test_copy_is_confirmed_briefly() {
        status.deliver(123456, 6, "")
        var note = part("copied_note")
        var countdown_y = part("bar_left_time").y
        verify(!note.visible)
        waitForRendering(page)
        mouseClick(part("btn_copy"))
        verify(note.visible)
        compare(note.text, "Copied")
        verify(note.y + note.height <= part("otp_value_bar").y, "the note covers the code")
        compare(part("bar_left_time").y, countdown_y)
        wait(1000)
        verify(note.visible, "the note went too soon")
        tryVerify(function() { return !note.visible }, 1500, "the note stays")
    }

    function test_copy_button_hidden_without_code() {
        status.deliver(0, 6, "")
        var button = part("btn_copy")
        verify(!button.visible)
        var copies = frame.copied.length
        waitForRendering(page)
        mouseClick(button)
        compare(frame.copied.length, copies, "a hidden button copies nothing")

        status.deliver(555, 6, "")
        verify(button.visible)
    }

    function test_refresh_timer_runs_until_disabled() {
        var calls = status.response_calls
        page.enable_otp_timer()
        // The first tick comes at once, not an interval later.
        tryVerify(function() { return status.response_calls === calls + 1 }, 300)
        tryVerify(function() { return status.response_calls >= calls + 3 }, 2000)
        page.disable_otp_timer()
        calls = status.response_calls
        wait(1300)
        compare(status.response_calls, calls)
    }

    function test_model_withdrawn_while_shown() {
        status.deliver(123456, 6, "")
        Harness.publish_null("otp_status")
        compare(part("otp_value_bar").text, "")
        verify(!part("btn_copy").visible)
        page.time_changed()
        compare(part("bar_information").text, "")
    }
}
