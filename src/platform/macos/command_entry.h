#pragma once
// Where the Objective-C command classes hand "run Carvo" and "chase Carvo" to C++: standard C++
// only, so the .mm side needs no Qt. Main thread only, like every Apple event Cocoa delivers.

#include <functional>
#include <string>

namespace carvo::macos {

// What Cocoa's evaluated arguments held under "cueId".
struct ChaseCueId {
    enum class Kind { absent, text, other };
    Kind kind = Kind::absent;
    std::string text; // UTF-8, for Kind::text
};

// The go command; answer receives "Carvo!" once the command's own jump has run, which may be
// after this call has returned.
void deliverGo(std::function<void(const std::string& answer)> answer);

// The chase command.
void deliverChase(const ChaseCueId& cueId);

// A command class caught an exception: one diagnostic line, so nothing crosses into AppKit.
void reportCommandFailure(const char* command, const char* what) noexcept;

} // namespace carvo::macos
