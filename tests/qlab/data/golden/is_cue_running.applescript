tell application id "com.figure53.QLab.5" to tell front workspace
    set myCue to first cue whose uniqueID is "4F2A-B9"
    set isRunning to running of myCue
    return isRunning
end tell