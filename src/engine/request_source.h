#pragma once
// Where a jump request came from. The source decides which group cue QLab uses and where the bar
// comes from; its text is spliced into QLab's get-files script.

#include <string_view>

namespace carvo {

enum class RequestSource {
    qlab,   // the main window or the go command: QLab's selected cue, the bar from QLab's dialog
    remote, // a remote client: the addressed cue, the bar the client asked for
    chase,  // the chase command: the addressed cue, from the first bar of the score
    // "/carvo/go BAR" over OSC: QLab's selected cue, the bar the command names, no dialog. QLab's
    // get-files script has no such branch, so only the OSC road to QLab can answer it.
    selectedAtBar,
};

// "QLab", "Remote" or "Chase", as QLab's script compares it.
constexpr std::string_view requestSourceText(RequestSource source) {
    switch (source) {
    case RequestSource::qlab:
        return "QLab";
    case RequestSource::remote:
        return "Remote";
    case RequestSource::chase:
        return "Chase";
    case RequestSource::selectedAtBar:
        return "Selected";
    }
    return "QLab";
}

} // namespace carvo
