if application id "com.figure53.QLab.5" is running then
    tell application id "com.figure53.QLab.5" to tell front workspace
    
    
        make type "Script"
        set myScriptCue to last item of (selected as list)
        set q name of myScriptCue to "Carvo Chase - put me in your playback group"
        
        set scriptSource to "tell application \"QLab\" to tell front workspace
            set thisCue to last item of (active cues as list)
            set myParent to parent of thisCue
            set myID to uniqueID of myParent
        end tell

        tell application \"Carvo\"
            chase Carvo cue ID myID
        end tell"
    
        set script source of myScriptCue to scriptSource
        
    end tell
end if