import QtQuick
import QtQuick.Controls
import QtQuick.Window

// The catalogue of usable group cues; the selected cue's row is green.
Window {
    id: root

    required property QtObject bridge

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
                    border.width: 1
                    border.color: Qt.rgba(0, 0, 0, 0.33)

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
