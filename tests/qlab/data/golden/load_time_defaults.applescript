try
    set barTime to 0.0
    on error errMsg number errNum
        display dialog "There has been an error. Is Carvo Running?"
        return
end try

tell application id "com.figure53.QLab.5" to tell front workspace
    set myCue to first cue whose uniqueID is "4F2A-B9"
    load myCue time barTime
    
    
    if false is false then
        delay 0.0
        start myCue
    end if

end tell