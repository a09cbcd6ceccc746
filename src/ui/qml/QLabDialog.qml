import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Carvo.Ui

// A dialog that a QLab script shows ("Enter bar number." and the messages Carvo sends):
// the text, a field when the script proposes an answer, and OK and Cancel.
Window {
    id: root

    property string message
    property bool hasField: false
    property alias answer: field.text

    // Takes the answer: OK (accepted true, with the field's text) or Cancel.
    required property DialogWaiter waiter

    objectName: "qlabDialog"
    width: 340
    height: column.implicitHeight + 32
    modality: Qt.ApplicationModal
    flags: Qt.Dialog
    color: palette.window

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 16
        spacing: 12

        Label {
            objectName: "qlabDialogText"
            text: root.message
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        TextField {
            id: field
            objectName: "qlabDialogField"
            visible: root.hasField
            focus: true
            selectByMouse: true
            Layout.fillWidth: true
            onAccepted: root.waiter.answer(true, text)
        }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            Button {
                objectName: "qlabDialogCancel"
                text: "Cancel"
                onClicked: root.waiter.answer(false, "")
            }
            Button {
                objectName: "qlabDialogOk"
                text: "OK"
                highlighted: true
                onClicked: root.waiter.answer(true, field.text)
            }
        }
    }

    Component.onCompleted: field.selectAll()
}
