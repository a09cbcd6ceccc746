if application id "com.figure53.QLab.5" is running then
    tell application id "com.figure53.QLab.5" to tell front workspace
    
    
        set allCues to cues
    
        repeat with aCue in allCues
            if q number of aCue is "Carvo" then
                delete aCue
                exit repeat
            end if
        end repeat
    
        make type "Script"
        set myScriptCue to last item of (selected as list)
        set q number of myScriptCue to "Carvo"
        set q name of myScriptCue to "Carvo Script - created by Carvo App"
        
        set scriptSource to "tell application \"Carvo\" to run Carvo"
    
        set script source of myScriptCue to scriptSource
        display dialog "Carvo Cue has been reset - please give it a hotkey trigger!"
        
    end tell
end if