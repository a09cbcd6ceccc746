import QtQuick
import Carvo.Ui

// BeatProgressView with one property misspelt, as a rename would leave it: the lint must fail.
BeatProgressBar {
    required property CounterModel counter
    required property ShowStateModel showState

    beatsPerBar: showState.beatsPerBar
    barProgress: showState.progress
    backColour: counter.backColor
    frontColor: counter.frontColor
}
