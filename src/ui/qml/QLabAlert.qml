import QtQuick
import QtQuick.Controls

// The warning shown when the bar counter is clicked while QLab cannot take a jump.
Dialog {
    id: dialog

    property alias text: message.text

    modal: true
    anchors.centerIn: parent
    standardButtons: Dialog.Ok
    closePolicy: Popup.CloseOnEscape

    Row {
        spacing: 10
        Label {
            text: "\u26A0"
            color: "#d08000"
            font.pixelSize: 28
        }
        Label {
            id: message
            objectName: "qlabAlertText"
            width: Math.min(implicitWidth, dialog.parent ? dialog.parent.width - 100 : implicitWidth)
            wrapMode: Text.Wrap
        }
    }
}
