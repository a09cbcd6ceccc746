import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import Carvo.Ui

// The main window: title row, beat progress bar, and the bar counter, which starts a jump.
Window {
    id: root

    required property UIBridge bridge
    // True while the settings sheet is shown.
    property bool showSettings: false

    readonly property int padding: 8

    title: "Carvo"
    color: palette.window
    // Content 250 by 250, or more where the contents need it.
    width: Math.max(250, column.implicitWidth)
    height: Math.max(250, column.implicitHeight)
    minimumWidth: column.implicitWidth
    minimumHeight: column.implicitHeight

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: 10

        RowLayout {
            objectName: "titleRow"
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop

            Label {
                objectName: "titleText"
                text: "Carvo v" + root.bridge.version
                font.pixelSize: 26
                Layout.alignment: Qt.AlignTop
                Layout.topMargin: root.padding
                Layout.leftMargin: root.padding
            }
            Item {
                Layout.fillWidth: true
            }
            ColumnLayout {
                spacing: 0
                Layout.alignment: Qt.AlignTop

                AbstractButton {
                    id: cogButton
                    objectName: "cogButton"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.margins: root.padding
                    implicitWidth: 30
                    implicitHeight: 30
                    Accessible.name: "Settings"
                    contentItem: Image {
                        source: "qrc:/Carvo/Ui/icons/cogIcon.svg"
                        sourceSize: Qt.size(30, 30)
                        fillMode: Image.PreserveAspectFit
                        opacity: cogButton.pressed ? 0.6 : 1
                    }
                    onClicked: root.showSettings = !root.showSettings
                }
                Button {
                    objectName: "cueListButton"
                    text: "Cue List"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.rightMargin: root.padding
                    onClicked: root.bridge.openCueList()
                }
            }
        }

        BeatProgressView {
            objectName: "beatProgressView"
            Layout.fillWidth: true
            Layout.leftMargin: root.padding
            Layout.rightMargin: root.padding
            counter: root.bridge.counter
            showState: root.bridge.showState
        }

        BarCounterButton {
            objectName: "barCounterButton"
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.minimumWidth: 250
            Layout.minimumHeight: 170
            Layout.leftMargin: root.padding
            Layout.rightMargin: root.padding
            Layout.bottomMargin: root.padding
            text: root.bridge.counter.barText
            onClicked: root.bridge.go()
        }
    }

    QLabAlert {
        id: alert
        objectName: "qlabAlert"
    }

    Connections {
        target: root.bridge
        function onAlertRequested(message) {
            alert.text = message
            alert.open()
        }
    }

    // The sheet is built anew each time it is shown, so its status starts unchecked.
    Loader {
        active: root.showSettings
        sourceComponent: SettingsSheet {
            bridge: root.bridge
            parentWindow: root
            onDismissed: root.showSettings = false
        }
    }
}
