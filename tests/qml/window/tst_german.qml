import QtQuick 2.12
import Larkmoor.Testing 1.0

// The window in German, as the harness installs it for LARKMOOR_TEST_LOCALE=de_DE: texts from
// QML and from C++, and the plural forms of the countdown.
WindowTestCase {
    name: "German"

    function initTestCase() {
        if (Qt.locale().name !== "de_DE")
            skip("runs with LARKMOOR_TEST_LOCALE=de_DE")
    }

    function test_texts_and_plurals_are_german() {
        var t = 30 * Math.floor(Date.now() / 30000)
        launch(true, t)
        wait_for_a_code()
        var bar = window.menuBar
        compare([bar.menuAt(0).title, bar.menuAt(1).title, bar.menuAt(2).title, bar.menuAt(0).itemAt(0).text],
                ["Datei", "Einstellungen", "Hilfe", "Beenden"])
        // Alt and the German title's first letter, underlined; the key as Qt writes it in German.
        compare([bar.itemAt(1).contentItem.text, shortcut_shown(bar.menuAt(0).itemAt(0))], ["<u>E</u>instellungen", "Strg+Q"])
        keyClick(Qt.Key_E, Qt.AltModifier)
        tryVerify(function() { return bar.menuAt(1).opened }, 1000, "Alt+E does not open Einstellungen")
        keyClick(Qt.Key_Escape)
        tryVerify(function() { return !bar.menuAt(1).visible })

        tick(t + 12.4)
        compare(part("bar_left_time").text, "Noch 17 Sekunden")
        tick(t + 28.1)
        compare(code_label().text, "Nächster Code in 2 Sekunden")
        tick(t + 29.5)
        compare(code_label().text, "Nächster Code in 1 Sekunde")

        var dialog = open_from_menu(1, 1, "dialog_token_info")
        compare(dialog.titleText, "Token-Info")
        tryCompare(dialog.contentChildren[0], "text", "Seriennummer: SIM0000001\nAlgorithmus: TOTP\nHash-Verfahren: SHA-1",
                   token_timeout)
        close_with_escape(dialog)

        // The help inside the window is the German page.
        Bench.publish("help_url", "")
        bar.menuAt(2).itemAt(0).triggered()
        var help = findChild(window, "dialog_help")
        tryVerify(function() { return help.opened }, 1000, "no built-in help")
        verify(findChild(help.contentItem, "help_text").getText(0, 100).indexOf("Larkmoor zeigt") >= 0, "the help is not German")
    }
}
