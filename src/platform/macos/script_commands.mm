// The two scripting commands of Carvo.sdef. Cocoa finds these classes by the names the
// dictionary gives, makes one object per incoming Apple event on the main thread and calls
// performDefaultImplementation. They only translate: the commands themselves are
// ScriptingCommands, reached through command_entry.h. No exception leaves a method here.
//
// This file is linked into the executable as an object library: nothing calls these classes by
// name, so from a static library the linker would drop them.

#import <Foundation/Foundation.h>

#include "platform/macos/command_entry.h"

#include <exception>
#include <memory>
#include <string>

namespace {

NSString* autoreleasedText(const std::string& text) {
    NSString* made = [[NSString alloc] initWithBytes:text.data()
                                              length:text.size()
                                            encoding:NSUTF8StringEncoding];
    return [made autorelease];
}

// The reply of one "run Carvo". The jump may have to wait behind a jump in progress; then the
// command is suspended and QLab receives the answer when it comes.
class GoReply {
public:
    explicit GoReply(NSScriptCommand* command) : m_command([command retain]) {}
    ~GoReply() { [m_command release]; }
    GoReply(const GoReply&) = delete;
    GoReply& operator=(const GoReply&) = delete;

    // Main thread, once.
    void answer(const std::string& text) {
        if (m_answered)
            return;
        m_answered = true;
        m_text = text;
        if (!m_suspended)
            return;
        @try {
            [m_command resumeExecutionWithResult:autoreleasedText(text)];
        } @catch (NSException* exception) {
            carvo::macos::reportCommandFailure("run Carvo", [[exception reason] UTF8String]);
        }
    }

    // What performDefaultImplementation returns: the answer if it has come, else nothing, and
    // Cocoa waits for resumeExecutionWithResult:.
    id resultOrSuspend() {
        if (m_answered)
            return autoreleasedText(m_text);
        m_suspended = true;
        [m_command suspendExecution];
        return nil;
    }

    // After a failure: a late answer must not resume a command that has already replied.
    void abandon() { m_answered = true; }

private:
    NSScriptCommand* m_command;
    bool m_answered = false;
    bool m_suspended = false;
    std::string m_text;
};

carvo::macos::ChaseCueId cueIdFrom(NSDictionary* arguments) {
    carvo::macos::ChaseCueId cueId;
    id value = [arguments objectForKey:@"cueId"];
    if (!value)
        return cueId;
    if (![value isKindOfClass:[NSString class]]) {
        cueId.kind = carvo::macos::ChaseCueId::Kind::other;
        return cueId;
    }
    const char* bytes = [static_cast<NSString*>(value) UTF8String];
    cueId.kind = carvo::macos::ChaseCueId::Kind::text;
    cueId.text = bytes ? bytes : "";
    return cueId;
}

} // namespace

@interface goFromApplescript : NSScriptCommand
@end

@interface chaseFromApplescript : NSScriptCommand
@end

@implementation goFromApplescript

- (id)performDefaultImplementation {
    std::shared_ptr<GoReply> reply;
    try {
        reply = std::make_shared<GoReply>(self);
        carvo::macos::deliverGo([reply](const std::string& answer) { reply->answer(answer); });
        return reply->resultOrSuspend();
    } catch (const std::exception& failure) {
        carvo::macos::reportCommandFailure("run Carvo", failure.what());
    } catch (...) {
        carvo::macos::reportCommandFailure("run Carvo", "unknown exception");
    }
    if (reply)
        reply->abandon();
    return autoreleasedText("Carvo!");
}

@end

@implementation chaseFromApplescript

- (id)performDefaultImplementation {
    try {
        carvo::macos::deliverChase(cueIdFrom([self evaluatedArguments]));
    } catch (const std::exception& failure) {
        carvo::macos::reportCommandFailure("chase Carvo", failure.what());
    } catch (...) {
        carvo::macos::reportCommandFailure("chase Carvo", "unknown exception");
    }
    return nil;
}

@end
