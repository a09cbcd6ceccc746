tell application id "com.figure53.QLab.5" to tell front workspace
    set myCue to first cue whose uniqueID is "4F2A-B9"
    set elapsed to action elapsed of myCue
    if elapsed > 1 then
        return true
    else
        return false
    end if
end tell