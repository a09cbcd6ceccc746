import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Carvo.Ui

// The settings sheet over the main window: QLab's state and workspace preparation, the two
// options, the server's interface, and the console.
Window {
    id: root

    required property UIBridge bridge
    property Window parentWindow
    // The state as last checked (a QLabModel.Status); a new sheet starts unchecked.
    property int qlabStatus: QLabModel.WaitingToCheck

    signal dismissed

    objectName: "settingsSheet"
    title: "Settings"
    width: 450
    height: 700
    minimumWidth: 450
    minimumHeight: 700
    transientParent: parentWindow
    modality: Qt.WindowModal
    color: palette.window
    visible: true

    onClosing: root.dismissed()

    Component.onCompleted: {
        if (parentWindow) {
            x = parentWindow.x + (parentWindow.width - width) / 2
            y = parentWindow.y
        }
        // Shown: check at once, as the "Check Status" button does.
        Qt.callLater(function() {
            root.qlabStatus = root.bridge.checkQLabStatus()
            root.bridge.applyWindowLevel()
        })
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            Item { Layout.fillWidth: true }
            Button {
                objectName: "checkStatusButton"
                text: "Check Status"
                onClicked: root.qlabStatus = root.bridge.checkQLabStatus()
            }
            Button {
                objectName: "resetCarvoCueButton"
                text: "Reset Carvo Cue"
                onClicked: root.bridge.resetCarvoCue()
            }
            Button {
                objectName: "makeChaseCueButton"
                text: "Make Chase Cue"
                onClicked: root.bridge.makeChaseCue()
            }
            Item { Layout.fillWidth: true }
        }

        Label {
            objectName: "qlabStatusText"
            text: root.bridge.qlabStatusText(root.qlabStatus)
            Layout.alignment: Qt.AlignHCenter
        }

        ToolSeparator {
            orientation: Qt.Horizontal
            Layout.fillWidth: true
            Layout.topMargin: 10
            Layout.bottomMargin: 10
        }

        ColumnLayout {
            objectName: "optionsBlock"
            Layout.fillWidth: true
            Layout.leftMargin: 10
            Layout.rightMargin: 10

            CheckBox {
                objectName: "standbyCheckBox"
                text: "Use standby cues"
                checked: root.bridge.standby
                onToggled: root.bridge.standby = checked
            }
            CheckBox {
                objectName: "floatingCheckBox"
                text: "Floating Window"
                checked: root.bridge.floating
                onToggled: root.bridge.floating = checked
            }
            RowLayout {
                Label { text: "Pre-roll (bars counted in)" }
                SpinBox {
                    objectName: "preRollSpinBox"
                    from: 0
                    to: 4
                    value: root.bridge.preRollBars
                    onValueModified: root.bridge.preRollBars = value
                }
            }
            RowLayout {
                Label { text: "Position to (OSC)" }
                TextField {
                    objectName: "oscPositionTargetsField"
                    Layout.fillWidth: true
                    placeholderText: "host:port, … (read at the next start)"
                    text: root.bridge.oscPositionTargets
                    onEditingFinished: root.bridge.oscPositionTargets = text
                }
            }
            RowLayout {
                InterfacePicker {
                    objectName: "interfacePicker"
                    bridge: root.bridge
                    Layout.preferredWidth: 275
                }
                Button {
                    objectName: "resendCuesButton"
                    text: "Resend Cues"
                    Layout.preferredWidth: 110
                    onClicked: root.bridge.resendCues()
                }
            }
        }

        // The stage display: its address and a QR code of it, for the phones and tablets that join.
        RowLayout {
            objectName: "displayBlock"
            visible: root.bridge.server.displayAddress !== ""
            Layout.fillWidth: true
            Layout.leftMargin: 10
            Layout.rightMargin: 10
            spacing: 12

            QRCodeItem {
                objectName: "displayQrCode"
                text: root.bridge.server.displayAddress
                Layout.preferredWidth: 100
                Layout.preferredHeight: 100
            }
            ColumnLayout {
                Layout.fillWidth: true
                Label {
                    text: "Stage display"
                    font.bold: true
                }
                Label {
                    objectName: "displayAddressText"
                    text: root.bridge.server.displayAddress
                    textFormat: Text.PlainText
                }
                Label {
                    objectName: "displayControlText"
                    text: root.bridge.server.displayControl
                          ? "Control page: " + root.bridge.server.displayAddress + "control (PIN set)"
                          : "No control page: set displayPin to allow one"
                    textFormat: Text.PlainText
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }
        }

        // QLab on another computer, over its OSC interface; read at the next start.
        GridLayout {
            objectName: "qlabRoadBlock"
            Layout.fillWidth: true
            Layout.leftMargin: 10
            Layout.rightMargin: 10
            columns: 2

            component RoadField: TextField {
                required property string key
                Layout.fillWidth: true
                text: root.bridge.qlabRoadSetting(key)
                onEditingFinished: root.bridge.setQLabRoadSetting(key, text)
            }

            Label { text: "QLab on the network" }
            ComboBox {
                id: qlabMachineMenu
                objectName: "qlabMachineMenu"
                Layout.fillWidth: true
                textRole: "label"
                displayText: count > 0 ? currentText : "none found yet"
                model: root.bridge.qlabMachines()
                currentIndex: -1
                // Asks again each time it opens: machines come and go.
                onPressedChanged: if (pressed) model = root.bridge.qlabMachines()
                onActivated: function(index) {
                    const machine = model[index]
                    qlabHostField.text = machine.host
                    qlabPortField.text = machine.port
                    root.bridge.setQLabRoadSetting("qlabHost", machine.host)
                    root.bridge.setQLabRoadSetting("qlabPort", machine.port)
                }
            }
            Label { text: "QLab host (OSC)" }
            RoadField {
                id: qlabHostField
                objectName: "qlabHostField"
                key: "qlabHost"
                placeholderText: "none: QLab on this Mac"
            }
            Label { text: "QLab port" }
            RoadField {
                id: qlabPortField
                objectName: "qlabPortField"
                key: "qlabPort"
                placeholderText: "53000"
                validator: IntValidator { bottom: 1; top: 65535 }
            }
            Label { text: "Passcode" }
            RoadField {
                objectName: "qlabPasscodeField"
                key: "qlabPasscode"
                echoMode: TextInput.Password
            }
            Label { text: "Media path map" }
            RoadField {
                objectName: "mediaPathMapField"
                key: "mediaPathMap"
                placeholderText: "/path/on/QLab/Mac=/path/here"
            }
            Label {
                Layout.columnSpan: 2
                text: "QLab's host and port take effect when Carvo starts again."
                font.italic: true
            }
        }

        ToolSeparator {
            orientation: Qt.Horizontal
            Layout.fillWidth: true
            Layout.topMargin: 10
            Layout.bottomMargin: 10
        }

        Item { Layout.fillHeight: true }

        ScrollView {
            id: consoleBox
            objectName: "consoleBox"
            Layout.fillWidth: true
            Layout.preferredHeight: 100
            ScrollBar.vertical.policy: ScrollBar.AlwaysOn
            ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
            contentWidth: availableWidth
            background: Rectangle {
                color: palette.base
                border.color: palette.mid
            }

            Text {
                objectName: "consoleText"
                width: consoleBox.availableWidth
                padding: 8
                text: root.bridge.logText
                font.family: "monospace"
                color: palette.text
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignLeft
            }

            NumberAnimation {
                id: followAnimation
                target: consoleBox.contentItem
                property: "contentY"
                duration: 250
                easing.type: Easing.InOutQuad
            }

            // Keeps the newest line in view: scroll to the bottom once the text is laid out.
            function scrollToBottom() {
                const flick = consoleBox.contentItem
                followAnimation.stop()
                followAnimation.to = Math.max(0, flick.contentHeight - flick.height)
                followAnimation.start()
            }
        }

        Connections {
            target: root.bridge
            function onLogTextChanged() {
                Qt.callLater(consoleBox.scrollToBottom)
            }
        }
        // The text is laid out after it changes: follow its new height too.
        Connections {
            target: consoleBox.contentItem
            function onContentHeightChanged() {
                Qt.callLater(consoleBox.scrollToBottom)
            }
        }

        Button {
            id: closeButton
            objectName: "closeButton"
            text: "Close"
            Layout.alignment: Qt.AlignHCenter
            background: Rectangle {
                radius: 8
                color: closeButton.down ? palette.mid : palette.button
                border.color: palette.mid
            }
            onClicked: root.dismissed()
        }
    }
}
