// Declarations of the Apple-only API that Carvo's Objective-C++ files use and that GNUstep's
// headers leave out (its NSScriptCommand, NSAppleScript and NSAppleEventDescriptor declare no
// methods at all). Included before each file by scripts/objc-syntax-check only: on a Mac the
// system headers declare all of this, and this file must never be compiled there.
// Each signature is copied from Apple's documentation; a method missing here makes the check
// fail, which is the point: a misspelled selector fails too.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include <stdint.h>

typedef uint32_t FourCharCode;
typedef FourCharCode DescType;
typedef FourCharCode OSType;
typedef unsigned char Boolean;

@interface NSAppleEventDescriptor (AppleOnly)
- (DescType)descriptorType;
- (NSString*)stringValue;
- (Boolean)booleanValue;
- (OSType)typeCodeValue;
- (NSInteger)numberOfItems;
- (NSAppleEventDescriptor*)descriptorAtIndex:(NSInteger)index;
@end

@interface NSAppleScript (AppleOnly)
- (instancetype)initWithSource:(NSString*)source;
- (NSAppleEventDescriptor*)executeAndReturnError:(NSDictionary**)errorInfo;
@end

extern NSString* const NSAppleScriptErrorMessage;
extern NSString* const NSAppleScriptErrorBriefMessage;
extern NSString* const NSAppleScriptErrorNumber;

@interface NSScriptCommand (AppleOnly)
- (id)performDefaultImplementation;
- (NSDictionary*)evaluatedArguments;
- (void)suspendExecution;
- (void)resumeExecutionWithResult:(id)result;
@end
