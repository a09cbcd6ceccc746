tell application "QLab"
    set theWorkspace to front workspace
    set allCues to cues of theWorkspace
    set resultList to {}
    set isValid to false
    set hasAudio to false
    set hasMemo to false

    repeat with aCue in allCues
        if q type of aCue is "group" then
            set isValid to false
            set hasAudio to false
            set hasMemo to false
            set childCues to cues of aCue
            repeat with childCue in childCues
                set cueType to q type of childCue
                if cueType is "midi file" then
                    set isValid to true
                    exit repeat
                else if cueType is "audio" then
                    set hasAudio to true
                else if cueType is "memo" then
                    set hasMemo to true
                end if
            end repeat
            
            -- Set hasMidi true if midi file found OR both audio and memo exist
            
            if hasAudio and hasMemo then
                set isValid to true
            end if

            
            if isValid then
                set cueID to uniqueID of aCue
                set cueName to q name of aCue
                set end of resultList to {cueID, cueName}
            end if
        end if
    end repeat
    return resultList
end tell