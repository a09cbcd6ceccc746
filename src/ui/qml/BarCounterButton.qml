import QtQuick
import QtQuick.Controls

// The bar counter: bar and beat in large type, and the button that starts a jump.
AbstractButton {
    id: button

    readonly property real fullSize: Math.max(1, 0.4 * Math.min(width, height))

    implicitWidth: 250
    implicitHeight: 170

    contentItem: Text {
        objectName: "barCounterText"
        text: button.text
        color: "white"
        font.family: "monospace"
        font.bold: true
        font.pixelSize: button.fullSize
        minimumPixelSize: Math.max(1, 0.1 * button.fullSize)
        fontSizeMode: Text.Fit
        wrapMode: Text.NoWrap
        elide: Text.ElideRight
        maximumLineCount: 1
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }
    background: Rectangle {
        color: Qt.rgba(0, 0, 0, button.pressed ? 0.8 : 0.7)
        radius: 10
    }
}
