import QtQuick 2.12
import QtTest 1.2
import Larkmoor.Testing 1.0

// Start-up order: the window is loaded before either context object exists, and follows them
// once they are published. Context properties cannot be removed, so this runs as one story.
TestCase {
    id: test
    name: "WindowLoad"
    when: windowShown

    StandInMainFrame {
        id: frame
    }

    StandInOtpStatus {
        id: status
    }

    property var window: null

    function init() {
        Harness.begin_capture()
    }

    function cleanup() {
        if (window) {
            window.destroy()
            window = null
        }
        wait(0)
        compare(Harness.end_capture(), [], "Qt warnings")
    }

    function is_otp_page(page) {
        return typeof page.time_changed === "function"
    }

    function test_loads_without_context_objects_and_follows_them() {
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window !== null)
        verify(waitForRendering(window.contentItem))

        compare(window.title, "Larkmoor")
        compare(window.width, 320)
        compare(window.height, 325)
        compare(window.minimumWidth, window.maximumWidth)
        compare(window.minimumHeight, window.maximumHeight)

        var stack = findChild(window, "stackView")
        var settings = window.menuBar.menuAt(1)
        var settings_entry = window.menuBar.itemAt(1)
        compare(settings_entry.contentItem.text, "Settings")
        verify(!settings.enabled)
        verify(!settings_entry.enabled)
        compare(settings_entry.contentItem.opacity, 0.3)
        tryVerify(function() { return stack.currentItem !== null })
        verify(!is_otp_page(stack.currentItem))
        window.menuBar.menuAt(2).itemAt(0).triggered()
        compare(Harness.opened_files, [], "Online Help opened something without a help page")
        var help = findChild(window, "dialog_help")
        tryVerify(function() { return help.opened }, 1000, "no built-in help without a help address")
        help.close()
        tryVerify(function() { return !help.visible })

        // What the controller's constructor and start-up publish, in that order.
        Harness.publish_null("otp_status")
        Harness.publish("main_frame", frame)
        frame.hid_change_event()
        compare(frame.rescans, 1)
        frame.show_otp_status()
        verify(!is_otp_page(stack.currentItem))
        verify(!settings.enabled)

        Harness.publish("otp_status", status)
        verify(settings.enabled)
        compare(settings_entry.contentItem.opacity, 1)
        // Enabled only now, the menu still opens from the keyboard.
        keyClick(Qt.Key_S, Qt.AltModifier)
        tryVerify(function() { return settings.opened }, 1000, "Alt+S did not open Settings")
        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !settings.visible })
        frame.show_otp_status()
        tryVerify(function() { return is_otp_page(stack.currentItem) })
        compare(stack.depth, 1)
    }
}
