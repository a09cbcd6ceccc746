import QtQuick
import QtQuick.Controls
import QtQuick.Window
import Carvo.Ui

// The catalogue of usable group cues; the selected cue's row is green.
Window {
    id: root

    required property UIBridge bridge

    title: "Cue List"
    width: 400
    height: 500
    flags: Qt.Window | Qt.WindowTitleHint | Qt.WindowCloseButtonHint | Qt.WindowMaximizeButtonHint
    color: palette.window

    ScrollView {
        id: scroll
        objectName: "cueListScroll"
        anchors.fill: parent
        ScrollBar.vertical.policy: ScrollBar.AlwaysOn
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
        contentWidth: availableWidth

        Column {
            objectName: "cueListColumn"
            x: 8
            y: 8
            width: scroll.availableWidth - 16
            spacing: 8
            bottomPadding: 8

            Repeater {
                objectName: "cueListRows"
                model: root.bridge.cueListRows

                Rectangle {
                    required property var modelData

                    objectName: "cueRow_" + modelData.id
                    width: parent.width
                    height: name.implicitHeight + 16
                    radius: 8
                    color: modelData.current ? "green" : "grey"

                    // A soft shadow of black at 0.33 opacity, 2 wide, without offset.
                    Rectangle {
                        z: -1
                        anchors.fill: parent
                        anchors.margins: -2
                        radius: parent.radius + 2
                        color: Qt.rgba(0, 0, 0, 0.11)
                        Rectangle {
                            anchors.fill: parent
                            anchors.margins: 1
                            radius: parent.radius - 1
                            color: Qt.rgba(0, 0, 0, 0.22)
                        }
                    }

                    Label {
                        id: name
                        text: parent.modelData.name
                        color: "white"
                        elide: Text.ElideRight
                        anchors.fill: parent
                        anchors.leftMargin: 12
                        anchors.rightMargin: 12
                        verticalAlignment: Text.AlignVCenter
                    }
                }
            }
        }
    }
}
