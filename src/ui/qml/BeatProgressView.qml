import QtQuick
import Carvo.Ui

// One capsule per beat of the current bar, filled up to the bar's progress.
BeatProgressBar {
    property QtObject progressModel

    implicitHeight: 24
    beatsPerBar: progressModel ? Math.max(0, progressModel.beatsPerBar) : 0
    barProgress: progressModel ? progressModel.barProgress : 0
    backColour: progressModel ? progressModel.backColour : "transparent"
    frontColor: progressModel ? progressModel.frontColor : "transparent"
}
