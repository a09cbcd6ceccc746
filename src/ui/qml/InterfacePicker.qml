import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Carvo.Ui

// The server's interface: the menu's value is the stored interface name itself.
RowLayout {
    id: root

    required property UIBridge bridge

    Label {
        text: "Interface"
    }
    ComboBox {
        id: menu
        objectName: "interfaceMenu"
        Layout.fillWidth: true
        model: root.bridge.interfaceChoices
        textRole: "label"
        valueRole: "value"
        currentIndex: root.storedIndex()
        onActivated: function(index) {
            root.bridge.storedInterfaceName = valueAt(index)
            // Choosing replaced the binding; the stored name stays the selection.
            currentIndex = Qt.binding(root.storedIndex)
        }
    }

    // The first entry whose value is the stored name (two addresses of one interface share it).
    function storedIndex() {
        const choices = root.bridge.interfaceChoices
        for (let i = 0; i < choices.length; ++i) {
            if (choices[i].value === root.bridge.storedInterfaceName)
                return i
        }
        return -1
    }

    // Shown: list the machine's interfaces afresh.
    Component.onCompleted: root.bridge.refreshInterfaces()
}
