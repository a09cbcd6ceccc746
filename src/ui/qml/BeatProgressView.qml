import QtQuick
import Carvo.Ui

// One capsule per beat of the current bar, filled up to the bar's progress: the show state's
// figures in the counter's colours.
BeatProgressBar {
    required property CounterModel counter
    required property ShowStateModel showState

    implicitHeight: 24
    beatsPerBar: Math.max(0, showState.beatsPerBar)
    barProgress: showState.progress
    backColour: counter.backColour
    frontColor: counter.frontColor
}
