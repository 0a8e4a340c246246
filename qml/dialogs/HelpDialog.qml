import QtQuick 2.12
import QtQuick.Controls 2.12
import ".."

// The help page inside the window, for desktops that cannot open it in a browser.
TitleDialog {
    id: dialog_help

    // The id of the section the help opens at; empty: the top.
    property string section: ""

    // The heading's text is looked up in the shown text, as the page's own ids do not survive.
    function scroll_to_section() {
        help_view.contentY = 0
        help_text.cursorPosition = 0
        var html = typeof help_html !== "undefined" ? String(help_html) : ""
        var heading = section === "" ? null : html.match(new RegExp('id="' + section + '"[^>]*>([^<]*)<'))
        if (!heading)
            return
        var at = help_text.getText(0, help_text.length).indexOf(heading[1])
        if (at >= 0)
            scroll(help_text.positionToRectangle(at).y)
    }

    // The caret goes along to the top line shown, where a screen reader reads on.
    function scroll(content_y) {
        help_view.contentY = Math.max(0, Math.min(content_y, help_view.contentHeight - help_view.height))
        help_text.cursorPosition = help_text.positionAt(0, help_view.contentY + 1)
    }

    titleText: qsTr("Help")
    onOpened: scroll_to_section()

    Flickable {
        id: help_view
        objectName: "help_view"
        implicitWidth: 290
        implicitHeight: 220
        clip: true
        contentWidth: width
        contentHeight: help_text.implicitHeight
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {
            policy: ScrollBar.AlwaysOn
        }

        Rectangle {
            parent: help_view
            anchors.fill: parent
            color: "transparent"
            border.width: 1
            border.color: dialog_help.palette.highlight
            visible: help_text.activeFocus
        }

        // Read line by line: the arrows move the caret, which a screen reader follows, and the
        // page keys scroll by a page, keeping one line of the last in sight. Selectable, so that
        // a command can be copied into a terminal.
        TextEdit {
            id: help_text
            objectName: "help_text"
            width: help_view.width - 14
            leftPadding: 4
            readOnly: true
            selectByMouse: true
            selectByKeyboard: true
            activeFocusOnPress: false
            activeFocusOnTab: true
            focus: true
            cursorVisible: activeFocus
            wrapMode: TextEdit.Wrap
            textFormat: TextEdit.RichText
            Accessible.role: Accessible.EditableText
            Accessible.readOnly: true
            Accessible.name: qsTr("Help")
            // The page's style sheet sets browser margins, which would narrow this small view.
            text: typeof help_html !== "undefined" ? help_html.replace(/<style>[\s\S]*<\/style>/, "") : ""
            onLinkActivated: Qt.openUrlExternally(link)
            onCursorRectangleChanged: {
                if (cursorRectangle.y < help_view.contentY)
                    help_view.contentY = cursorRectangle.y
                else if (cursorRectangle.y + cursorRectangle.height > help_view.contentY + help_view.height)
                    help_view.contentY = cursorRectangle.y + cursorRectangle.height - help_view.height
            }
            Keys.onPressed: {
                var page = help_view.height - 20
                if (event.key === Qt.Key_PageDown)
                    dialog_help.scroll(help_view.contentY + page)
                else if (event.key === Qt.Key_PageUp)
                    dialog_help.scroll(help_view.contentY - page)
                else if (event.key === Qt.Key_Home)
                    dialog_help.scroll(0)
                else if (event.key === Qt.Key_End)
                    dialog_help.scroll(help_view.contentHeight)
                else
                    return
                event.accepted = true
            }
        }
    }
}
