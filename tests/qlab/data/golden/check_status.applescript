tell application "QLab"
    if (count of workspaces) > 0 then
        tell front workspace
            set allCues to cues
            repeat with aCue in allCues
                if q number of aCue is "Carvo" then
                    return "workspace and cue found"
                end if
            end repeat
            return "workspace no cue"
        end tell
    else
        return "no workspace"
    end if
end tell