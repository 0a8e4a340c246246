import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12

Dialog {
    id: title_dialog

    property alias titleText: label_title.text

    parent: ApplicationWindow.overlay
    // The overlay is null while the dialog is outside a window.
    x: parent ? (parent.width - width) / 2 : 0
    y: parent ? (parent.height - height) / 2 : 0
    modal: true
    closePolicy: Popup.CloseOnEscape
    // Takes the keyboard when opened, so that Tab walks its own buttons; on closing, the window's
    // content takes it back and hands it to the item that had it.
    focus: true

    // A screen reader sees the dialog through its popup item, which has the dialog role already.
    Component.onCompleted: contentItem.parent.Accessible.name = Qt.binding(function() { return titleText })

    // A screen reader says a dialog when a control in it takes the keyboard, not when the popup
    // does: where no control of its own has asked for it, the close button takes it.
    onOpened: {
        var focused = ApplicationWindow.window ? ApplicationWindow.window.activeFocusItem : null
        if (focused === null || focused === contentItem || focused === contentItem.parent)
            close_button.forceActiveFocus()
    }

    header: ToolBar {
        height: 35
        leftPadding: 10
        background: Rectangle {
            color: "white"
            border.width: 1
        }

        RowLayout {
            anchors.fill: parent

            Label {
                id: label_title
                font.pixelSize: 16
                verticalAlignment: Text.AlignVCenter
                Layout.alignment: Qt.AlignVCenter
                Layout.fillHeight: true
            }

            Button {
                id: close_button
                objectName: "close_button"
                text: "x"
                Accessible.name: qsTr("Close")
                font.pixelSize: 16
                implicitWidth: 35
                Layout.fillHeight: true
                Layout.alignment: Qt.AlignRight
                hoverEnabled: true
                flat: true
                onHoveredChanged: flat = !hovered
                onClicked: title_dialog.close()
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()

                FocusFrame {}
            }
        }
    }
}
