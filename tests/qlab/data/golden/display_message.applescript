
    tell application id "com.figure53.QLab.5" to tell front workspace
        display dialog "ERROR: no cue selected" with title "Carvo"
    end tell
