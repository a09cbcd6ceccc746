tell application id "com.figure53.QLab.5" to tell front workspace
    set requestSource to "Remote"
    set lastBar to -3
    set cueFound to "false"
    set selectedCues to ""
    try
        if requestSource is "Remote" then
                set selectedCues to first cue whose uniqueID is "4F2A-B9"
        else if requestSource is "Chase" then
                set selectedCues to first cue whose uniqueID is "4F2A-B9"
        else
            set selectedCues to last item of (selected as list)
        end if
    on error
        return "ERROR: no cue selected"
    end try
    if selectedCues is not {} then
        set groupCue to first item of selectedCues
        
        -- Ensure the selected cue is a Group cue
        if q type of groupCue is "Group" then
            set myID to uniqueID of groupCue
            -- Get cues inside the group
            set childCues to cues of groupCue
            -- Loop through to find the first MIDI cue
            repeat with c in childCues
                if q type of c is "MIDI File" then
                    set myMidiCue to c
                    set cueType to "MIDI"
                    set myMidiTargetHFS to file target of myMidiCue
                    set myMidiTargetPOSIX to POSIX path of myMidiTargetHFS
                    set midiFilePath to myMidiTargetPOSIX
                    set myOffset to notes of myMidiCue
                    set cueFound to "true"
                    exit repeat
                else if q type of c is "memo" then
                    set myMemoCue to c
                    set cueType to "MEMO"
                    set myString to notes of myMemoCue
                    set myDelimiters to AppleScript's text item delimiters
                    set AppleScript's text item delimiters to ","
                    set myList to text items of myString
                    set AppleScript's text item delimiters to myDelimiters
                    if count of myList is not 4 then
                        return "ERROR: Please make the notes of the memo cue in the format 'first bar of the score, tempo, numerator, denominator'"
                    end if
                    set myOffset to item 1 of myList
                    set tempo to item 2 of myList
                    set numerator to item 3 of myList
                    set denominator to item 4 of myList
                    set cueFound to "true"
                    exit repeat
                end if
            end repeat

            if cueFound is "false" then
                return "ERROR: Cannot find MIDI File or Memo Cue in the Group"
            end if
        else
            return "ERROR: Selected cue is not a group"
        end if
    else
        return "ERROR: No cue selected"
    end if
    
    if myOffset is "" then
        set myOffset to 1
    end if
    
    if requestSource is "QLab" then
        with timeout of 1000 seconds
            display dialog "Enter bar number." default answer lastBar with title "Brisvale" with icon 1 buttons {"Cancel", "OK"} default button "OK" cancel button "Cancel"
        end timeout
        set barNumber to text returned of result
    else if requestSource is "Remote" then
        set barNumber to 17 as string
    else if requestSource is "Chase" then
        set barNumber to myOffset
    
    end if

end tell

if cueType = "MIDI" then
    return midiFilePath & ", " & barNumber & ", " & myOffset & ", " & myID
else if cueType = "MEMO" then
    return barNumber & ", " & tempo & ", " & numerator & ", " & denominator & ", " & myOffset & ", " & myID
end if    
