import QtQuick 2.12
import ".."

TitleDialog {
    id: dialog_token_info

    // The model can be withdrawn (set to null) while the dialog is open.
    readonly property bool has_model: typeof otp_status !== "undefined" && otp_status !== null
    readonly property string token_info: has_model ? otp_status.token_info.replace(/\n+$/, "") : ""
    readonly property string hint: has_model ? otp_status.token_info_hint : ""

    titleText: qsTr("Token Info")
    // Sized for three lines at the window's width before any text arrives, so that the dialog
    // does not change its size while the token is read.
    contentWidth: 270
    contentHeight: Math.max(info_text.contentHeight, 3 * Math.ceil(info_font.height))
    // One read, bounded by the model; reopening the dialog asks again.
    onOpened: {
        if (has_model)
            otp_status.async_query_token_info()
    }
    onClosed: {
        if (has_model)
            otp_status.drop_token_info_query()
    }

    FontMetrics {
        id: info_font
        font: info_text.font
    }

    // Selectable, so that the serial number can be copied.
    TextEdit {
        id: info_text
        objectName: "token_info_text"
        width: dialog_token_info.contentWidth
        readOnly: true
        selectByMouse: true
        selectByKeyboard: true
        activeFocusOnTab: true
        wrapMode: TextEdit.Wrap
        // A hint asks for the user's press or says why there is no information: a screen
        // reader says it at once.
        Accessible.role: dialog_token_info.token_info === "" ? Accessible.Notification : Accessible.StaticText
        Accessible.name: text
        // Read-only text hides its cursor; with the keyboard here, it shows where it is.
        cursorVisible: activeFocus
        textFormat: TextEdit.PlainText
        font.pixelSize: 15
        horizontalAlignment: Text.AlignLeft
        color: dialog_token_info.token_info === "" ? "red" : "black"
        text: dialog_token_info.token_info !== "" ? dialog_token_info.token_info : dialog_token_info.hint
    }
}
