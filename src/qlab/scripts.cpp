#include "qlab/scripts.h"

#include "base/numbers.h"

namespace carvo::scripts {

// Every text Carvo sends to QLab, as QLab receives it. ⟨name⟩ marks where splice() puts a value;
// everything else is sent byte for byte, blank-line indentation included.
namespace templates {

const std::string_view displayMessage = R"applescript(
    tell application id "com.figure53.QLab.5" to tell front workspace
        display dialog "⟨message⟩" with title "Carvo"
    end tell
)applescript";

const std::string_view getFilesAndStartBar =
    R"applescript(tell application id "com.figure53.QLab.5" to tell front workspace
    set requestSource to "⟨requestSource⟩"
    set lastBar to ⟨lastBar⟩
    set cueFound to "false"
    set selectedCues to ""
    try
        if requestSource is "Remote" then
                set selectedCues to first cue whose uniqueID is "⟨uniqueID⟩"
        else if requestSource is "Chase" then
                set selectedCues to first cue whose uniqueID is "⟨uniqueID⟩"
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
        set barNumber to ⟨barNumber⟩ as string
    else if requestSource is "Chase" then
        set barNumber to myOffset
    
    end if

end tell

if cueType = "MIDI" then
    return midiFilePath & ", " & barNumber & ", " & myOffset & ", " & myID
else if cueType = "MEMO" then
    return barNumber & ", " & tempo & ", " & numerator & ", " & denominator & ", " & myOffset & ", " & myID
end if    
)applescript";

const std::string_view isCueRunning =
    R"applescript(tell application id "com.figure53.QLab.5" to tell front workspace
    set myCue to first cue whose uniqueID is "⟨uniqueID⟩"
    set isRunning to running of myCue
    return isRunning
end tell)applescript";

const std::string_view isCueElapsedOverOneSecond =
    R"applescript(tell application id "com.figure53.QLab.5" to tell front workspace
    set myCue to first cue whose uniqueID is "⟨uniqueID⟩"
    set elapsed to action elapsed of myCue
    if elapsed > 1 then
        return true
    else
        return false
    end if
end tell)applescript";

const std::string_view loadTimeAndStart = R"applescript(try
    set barTime to ⟨barTime⟩
    on error errMsg number errNum
        display dialog "There has been an error. Is Carvo Running?"
        return
end try

tell application id "com.figure53.QLab.5" to tell front workspace
    set myCue to first cue whose uniqueID is "⟨uniqueID⟩"
    load myCue time barTime
    
    
    if ⟨standby⟩ is false then
        delay ⟨preWait⟩
        start myCue
    end if

end tell)applescript";

// The panic script is a header, one two-line fragment per catalogued cue joined by line feeds,
// and a footer; with no cue it is the header, four spaces and the footer.
const std::string_view panicHeader =
    R"applescript(    tell application id "com.figure53.QLab.5" to tell front workspace
    )applescript";
const std::string_view panicCue =
    R"applescript(set myCue to first cue whose uniqueID is "⟨uniqueID⟩"
panic myCue)applescript";
const std::string_view panicFooter = R"applescript(
    end tell)applescript";

} // namespace templates

namespace {

const std::string_view checkStatusText = R"applescript(tell application "QLab"
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
end tell)applescript";

const std::string_view validGroupCuesText = R"applescript(tell application "QLab"
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
end tell)applescript";

const std::string_view resetCarvoCueText =
    R"applescript(if application id "com.figure53.QLab.5" is running then
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
end if)applescript";

const std::string_view makeChaseCueText =
    R"applescript(if application id "com.figure53.QLab.5" is running then
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
end if)applescript";

} // namespace

namespace {

constexpr std::string_view openMark = "⟨";
constexpr std::string_view closeMark = "⟩";

std::string decimal(std::int64_t value) {
    return std::to_string(value);
}

} // namespace

std::vector<TemplatePiece> templatePieces(std::string_view templateText) {
    std::vector<TemplatePiece> pieces;
    std::size_t pos = 0;
    while (pos < templateText.size()) {
        const auto open = templateText.find(openMark, pos);
        const auto close = open == std::string_view::npos
                               ? std::string_view::npos
                               : templateText.find(closeMark, open + openMark.size());
        if (close == std::string_view::npos) {
            pieces.push_back({templateText.substr(pos)});
            break;
        }
        if (open > pos)
            pieces.push_back({templateText.substr(pos, open - pos)});
        const bool quoted = open > 0 && templateText[open - 1] == '"';
        const auto nameStart = open + openMark.size();
        pieces.push_back({templateText.substr(nameStart, close - nameStart), true, quoted});
        pos = close + closeMark.size();
    }
    return pieces;
}

std::string escapeForStringLiteral(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string splice(std::string_view templateText, const SplicedValues& values) {
    std::string script;
    for (const auto& piece : templatePieces(templateText)) {
        if (!piece.isPlaceholder) {
            script += piece.text;
            continue;
        }
        const auto value = values.find(piece.text);
        if (value == values.end()) {
            script += openMark;
            script += piece.text;
            script += closeMark;
        } else {
            script += piece.quoted ? escapeForStringLiteral(value->second) : value->second;
        }
    }
    return script;
}

std::string displayMessage(std::string_view message) {
    return splice(templates::displayMessage, {{"message", std::string(message)}});
}

std::string getFilesAndStartBar(std::int64_t lastBar, std::string_view requestSource,
                                std::int64_t barNumber, std::string_view uniqueID) {
    return splice(templates::getFilesAndStartBar, {{"requestSource", std::string(requestSource)},
                                                   {"lastBar", decimal(lastBar)},
                                                   {"barNumber", decimal(barNumber)},
                                                   {"uniqueID", std::string(uniqueID)}});
}

std::string isCueRunning(std::string_view uniqueID) {
    return splice(templates::isCueRunning, {{"uniqueID", std::string(uniqueID)}});
}

std::string isCueElapsedOverOneSecond(std::string_view uniqueID) {
    return splice(templates::isCueElapsedOverOneSecond, {{"uniqueID", std::string(uniqueID)}});
}

std::string loadTimeAndStart(std::string_view uniqueID, float barTime, bool standby,
                             double preWait) {
    return splice(templates::loadTimeAndStart, {{"uniqueID", std::string(uniqueID)},
                                                {"barTime", shortestDecimal(barTime)},
                                                {"standby", standby ? "true" : "false"},
                                                {"preWait", shortestDecimal(preWait)}});
}

std::string panic(const std::vector<std::string>& uniqueIDs) {
    std::string script(templates::panicHeader);
    for (std::size_t i = 0; i < uniqueIDs.size(); ++i) {
        if (i > 0)
            script += '\n';
        script += splice(templates::panicCue, {{"uniqueID", uniqueIDs[i]}});
    }
    script += templates::panicFooter;
    return script;
}

std::string_view checkStatus() {
    return checkStatusText;
}
std::string_view validGroupCues() {
    return validGroupCuesText;
}
std::string_view resetCarvoCue() {
    return resetCarvoCueText;
}
std::string_view makeChaseCue() {
    return makeChaseCueText;
}

} // namespace carvo::scripts
