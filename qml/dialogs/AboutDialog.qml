import QtQuick 2.12
import ".."

TitleDialog {
    id: dialog_about

    readonly property string log_path: typeof log_file_path !== "undefined" ? log_file_path : ""
    // The version --version prints.
    readonly property string version_text: qsTr("Larkmoor %1").arg(typeof app_version !== "undefined" ? app_version : "")
    readonly property string copyright_text: qsTr("© Orvandel. For Orvandel OTP tokens.")

    titleText: qsTr("About")

    Column {
        id: column_about
        topPadding: 10
        bottomPadding: 20
        leftPadding: 10
        rightPadding: 10
        spacing: 10

        Image {
            source: "../pic/larkmoor-logo-48-48.png"
            width: 48
            height: 48
            anchors.horizontalCenter: parent.horizontalCenter
            fillMode: Image.PreserveAspectFit
            Accessible.ignored: true
        }

        Text {
            objectName: "about_version"
            text: dialog_about.version_text
            font.pixelSize: 13
            anchors.horizontalCenter: parent.horizontalCenter
            // A screen reader passes over a dialog's texts of fewer than three words.
            Accessible.name: qsTr("Larkmoor version %1").arg(typeof app_version !== "undefined" ? app_version : "")
        }

        Text {
            text: dialog_about.copyright_text
            font.pixelSize: 14
            anchors.horizontalCenter: parent.horizontalCenter
            Accessible.name: text
        }

        // The path below says it, with its own name.
        Text {
            text: qsTr("The log:")
            visible: dialog_about.log_path !== ""
            font.pixelSize: 12
            Accessible.ignored: true
        }

        // Selectable, so that the path can be copied into a file manager or a terminal. Lines
        // break after a separator, where a path reads well; copied and read aloud it stays exact.
        TextEdit {
            objectName: "about_log_path"
            text: dialog_about.log_path
            visible: text !== ""
            width: 270
            wrapMode: TextEdit.WrapAtWordBoundaryOrAnywhere
            readOnly: true
            selectByMouse: true
            selectByKeyboard: true
            activeFocusOnTab: true
            cursorVisible: activeFocus
            textFormat: TextEdit.PlainText
            font.pixelSize: 12
            Accessible.role: Accessible.EditableText
            Accessible.readOnly: true
            Accessible.name: qsTr("The log:")
        }
    }
}
