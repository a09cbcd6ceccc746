// NSAppleScript in process. Manual retain and release: every object made here is released or
// autoreleased into the pool of the run that made it.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/macos/native_applescript.h"

#include <cstdint>
#include <exception>

namespace carvo::macos {
namespace {

constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

// The Apple event descriptor types the mapping tells apart (typeAEList, typeAERecord,
// typeTrue, typeFalse, typeBoolean, typeNull, typeType and the missing-value class).
constexpr std::uint32_t listType = fourCharCode("list");
constexpr std::uint32_t recordType = fourCharCode("reco");
constexpr std::uint32_t trueType = fourCharCode("true");
constexpr std::uint32_t falseType = fourCharCode("fals");
constexpr std::uint32_t booleanType = fourCharCode("bool");
constexpr std::uint32_t nullType = fourCharCode("null");
constexpr std::uint32_t typeCodeType = fourCharCode("type");
constexpr std::uint32_t missingValueCode = fourCharCode("msng");

std::optional<std::string> utf8(NSString* text) {
    if (!text)
        return std::nullopt;
    const char* bytes = [text UTF8String];
    if (!bytes)
        return std::nullopt;
    return std::string(bytes);
}

class EventDescriptorNode final : public DescriptorNode {
public:
    explicit EventDescriptorNode(NSAppleEventDescriptor* descriptor) : m_descriptor(descriptor) {}

    Kind kind() const override {
        const std::uint32_t type = [m_descriptor descriptorType];
        if (type == listType)
            return Kind::list;
        if (type == recordType)
            return Kind::record;
        if (type == trueType || type == falseType || type == booleanType)
            return Kind::boolean;
        if (type == nullType ||
            (type == typeCodeType && [m_descriptor typeCodeValue] == missingValueCode))
            return Kind::missingValue;
        return Kind::other;
    }

    bool booleanValue() const override { return [m_descriptor booleanValue] != 0; }

    std::optional<std::string> text() const override { return utf8([m_descriptor stringValue]); }

    std::size_t itemCount() const override {
        const NSInteger count = [m_descriptor numberOfItems];
        return count > 0 ? static_cast<std::size_t>(count) : 0;
    }

    std::unique_ptr<DescriptorNode> item(std::size_t index) const override {
        // Apple event lists count from 1.
        NSAppleEventDescriptor* found =
            [m_descriptor descriptorAtIndex:static_cast<NSInteger>(index + 1)];
        if (!found)
            return nullptr;
        return std::make_unique<EventDescriptorNode>(found);
    }

private:
    NSAppleEventDescriptor* m_descriptor; // owned by the run's autorelease pool
};

NativeScriptError errorFrom(NSDictionary* info) {
    NativeScriptError error;
    id message = [info objectForKey:NSAppleScriptErrorMessage];
    if ([message isKindOfClass:[NSString class]])
        error.message = utf8(message);
    id brief = [info objectForKey:NSAppleScriptErrorBriefMessage];
    if ([brief isKindOfClass:[NSString class]])
        error.briefMessage = utf8(brief);
    id number = [info objectForKey:NSAppleScriptErrorNumber];
    if ([number isKindOfClass:[NSNumber class]])
        error.number = static_cast<long>([number longValue]);
    return error;
}

NSString* newSourceString(const std::string& source) {
    return [[NSString alloc] initWithBytes:source.data()
                                    length:source.size()
                                  encoding:NSUTF8StringEncoding];
}

} // namespace

bool canCreateAppleScript(const std::string& source) {
    bool created = false;
    @autoreleasepool {
        NSString* text = newSourceString(source);
        NSAppleScript* script = text ? [[NSAppleScript alloc] initWithSource:text] : nil;
        created = script != nil;
        [script release];
        [text release];
    }
    return created;
}

bool runAppleScript(const std::string& source, const ReceiveOutcome& receive) {
    bool created = false;
    // An exception from receive must leave this function only after the pool has gone.
    std::exception_ptr failure;
    @autoreleasepool {
        NSString* text = newSourceString(source);
        NSAppleScript* script = text ? [[NSAppleScript alloc] initWithSource:text] : nil;
        if (script) {
            created = true;
            NSDictionary* errorInfo = nil;
            NSAppleEventDescriptor* result = nil;
            NativeScriptError raised;
            bool threw = false;
            @try {
                result = [script executeAndReturnError:&errorInfo];
            } @catch (NSException* exception) {
                threw = true;
                raised.message = utf8([exception reason]);
                if (!raised.message)
                    raised.message = utf8([exception name]);
            }
            try {
                if (threw) {
                    receive(nullptr, &raised);
                } else {
                    const NativeScriptError error =
                        errorInfo ? errorFrom(errorInfo) : NativeScriptError{};
                    const EventDescriptorNode node(result);
                    receive(result ? &node : nullptr, errorInfo ? &error : nullptr);
                }
            } catch (...) {
                failure = std::current_exception();
            }
        }
        [script release];
        [text release];
    }
    if (failure)
        std::rethrow_exception(failure);
    return created;
}

bool isApplicationRunning(const std::string& bundleIdentifier) {
    bool running = false;
    @autoreleasepool {
        NSString* identifier = newSourceString(bundleIdentifier);
        if (identifier) {
            NSArray* found =
                [NSRunningApplication runningApplicationsWithBundleIdentifier:identifier];
            running = [found count] > 0;
        }
        [identifier release];
    }
    return running;
}

} // namespace carvo::macos
