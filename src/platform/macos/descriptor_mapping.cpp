#include "platform/macos/descriptor_mapping.h"

namespace carvo::macos {
namespace {

// Deeper nesting is not a QLab answer; it must not exhaust the stack either. The osascript
// runner stops at the same depth.
constexpr int maxDepth = 256;

ScriptDescriptor map(const DescriptorNode& node, int depth) {
    using Kind = DescriptorNode::Kind;
    switch (node.kind()) {
    case Kind::boolean:
        return ScriptDescriptor::fromText(node.booleanValue() ? QStringLiteral("true")
                                                              : QStringLiteral("false"));
    case Kind::missingValue:
        return {};
    case Kind::list:
    case Kind::record: {
        ScriptDescriptor mapped;
        mapped.isList = node.kind() == Kind::list;
        if (depth >= maxDepth)
            return mapped;
        const std::size_t count = node.itemCount();
        for (std::size_t i = 0; i < count; ++i) {
            const auto item = node.item(i);
            mapped.items.append(item ? map(*item, depth + 1) : ScriptDescriptor{});
        }
        return mapped;
    }
    case Kind::other:
        break;
    }
    const auto text = node.text();
    if (!text)
        return {};
    return ScriptDescriptor::fromText(QString::fromStdString(*text));
}

} // namespace

ScriptDescriptor toScriptDescriptor(const DescriptorNode& node) {
    return map(node, 0);
}

ScriptError toScriptError(const NativeScriptError& error) {
    QString description;
    if (error.message && !error.message->empty())
        description = QString::fromStdString(*error.message);
    else if (error.briefMessage && !error.briefMessage->empty())
        description = QString::fromStdString(*error.briefMessage);
    else
        description = QStringLiteral("AppleScript error");
    if (error.number)
        description += QStringLiteral(" (") + QString::number(*error.number) + u')';
    return {description};
}

} // namespace carvo::macos
