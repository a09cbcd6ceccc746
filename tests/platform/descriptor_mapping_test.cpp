// What NSAppleScript's result descriptors and error dictionaries become, over hand-made
// descriptor trees: the mapping the in-process runner applies on macOS.

#include <gtest/gtest.h>

#include <vector>

#include "platform/macos/descriptor_mapping.h"

namespace carvo {
namespace testing {

// A descriptor tree written by hand. text is what stringValue would answer, which for lists is
// often something: the mapping must not trust it.
class HandMadeDescriptor final : public macos::DescriptorNode {
public:
    static HandMadeDescriptor text(std::string value) {
        HandMadeDescriptor made(Kind::other);
        made.m_text = std::move(value);
        return made;
    }
    static HandMadeDescriptor noText() { return HandMadeDescriptor(Kind::other); }
    static HandMadeDescriptor boolean(bool value) {
        HandMadeDescriptor made(Kind::boolean);
        made.m_boolean = value;
        made.m_text = value ? "1" : "0"; // a coercion the mapping must not use
        return made;
    }
    static HandMadeDescriptor missingValue() {
        HandMadeDescriptor made(Kind::missingValue);
        made.m_text = "msng";
        return made;
    }
    static HandMadeDescriptor list(std::vector<HandMadeDescriptor> items) {
        HandMadeDescriptor made(Kind::list);
        made.m_items = std::move(items);
        made.m_text = "a list's text form";
        return made;
    }
    static HandMadeDescriptor record(std::vector<HandMadeDescriptor> values) {
        HandMadeDescriptor made = list(std::move(values));
        made.m_kind = Kind::record;
        return made;
    }
    // An item the platform fails to hand out.
    HandMadeDescriptor& withUnreadableItem(std::size_t index) {
        m_unreadable.push_back(index);
        return *this;
    }

    Kind kind() const override { return m_kind; }
    bool booleanValue() const override { return m_boolean; }
    std::optional<std::string> text() const override { return m_text; }
    std::size_t itemCount() const override { return m_items.size(); }
    std::unique_ptr<DescriptorNode> item(std::size_t index) const override {
        for (const std::size_t unreadable : m_unreadable)
            if (unreadable == index)
                return nullptr;
        if (index >= m_items.size())
            return nullptr;
        return std::make_unique<HandMadeDescriptor>(m_items[index]);
    }

private:
    explicit HandMadeDescriptor(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    bool m_boolean = false;
    std::optional<std::string> m_text;
    std::vector<HandMadeDescriptor> m_items;
    std::vector<std::size_t> m_unreadable;
};

} // namespace testing

namespace {

using macos::NativeScriptError;
using macos::toScriptDescriptor;
using macos::toScriptError;
using testing::HandMadeDescriptor;

ScriptDescriptor missing() {
    return {};
}

TEST(DescriptorMapping, SingleValuesKeepTheirTextAndBooleansReadTrueOrFalse) {
    EXPECT_EQ(toScriptDescriptor(HandMadeDescriptor::text("workspace and cue found")),
              ScriptDescriptor::fromText(QStringLiteral("workspace and cue found")));
    // UTF-8 from the platform arrives as the same characters.
    EXPECT_EQ(toScriptDescriptor(HandMadeDescriptor::text("Ouvertüre – Akt 1")),
              ScriptDescriptor::fromText(QStringLiteral("Ouvertüre – Akt 1")));
    EXPECT_EQ(toScriptDescriptor(HandMadeDescriptor::text("")),
              ScriptDescriptor::fromText(QString()));
    // isCueRunning compares with "true": a Boolean must say so whatever its coercion gives.
    EXPECT_EQ(toScriptDescriptor(HandMadeDescriptor::boolean(true)),
              ScriptDescriptor::fromText(QStringLiteral("true")));
    EXPECT_EQ(toScriptDescriptor(HandMadeDescriptor::boolean(false)),
              ScriptDescriptor::fromText(QStringLiteral("false")));
}

TEST(DescriptorMapping, MissingValueAndValuesWithoutTextHaveNoText) {
    const ScriptDescriptor mappedMissing = toScriptDescriptor(HandMadeDescriptor::missingValue());
    EXPECT_EQ(mappedMissing, missing());
    EXPECT_FALSE(mappedMissing.text.has_value());
    EXPECT_FALSE(toScriptDescriptor(HandMadeDescriptor::noText()).text.has_value());
}

TEST(DescriptorMapping, TheCatalogueAnswerIsReadItemByItemNotByItsTextForm) {
    // {{"G1", "Overture"}, {"G2", missing value}}: what the catalogue script hands back.
    const auto answer = HandMadeDescriptor::list({
        HandMadeDescriptor::list(
            {HandMadeDescriptor::text("G1"), HandMadeDescriptor::text("Overture")}),
        HandMadeDescriptor::list(
            {HandMadeDescriptor::text("G2"), HandMadeDescriptor::missingValue()}),
    });
    const ScriptDescriptor mapped = toScriptDescriptor(answer);
    EXPECT_EQ(
        mapped,
        ScriptDescriptor::list({
            ScriptDescriptor::list({ScriptDescriptor::fromText(QStringLiteral("G1")),
                                    ScriptDescriptor::fromText(QStringLiteral("Overture"))}),
            ScriptDescriptor::list({ScriptDescriptor::fromText(QStringLiteral("G2")), missing()}),
        }));
    EXPECT_FALSE(mapped.text.has_value());
    EXPECT_EQ(describe(mapped), QStringLiteral(R"({{"G1", "Overture"}, {"G2", missing value}})"));
}

TEST(DescriptorMapping, EmptyListsRecordsAndUnreadableItems) {
    const ScriptDescriptor empty = toScriptDescriptor(HandMadeDescriptor::list({}));
    EXPECT_TRUE(empty.isList);
    EXPECT_TRUE(empty.items.isEmpty());
    EXPECT_FALSE(empty.text.has_value());

    // A record gives its values in order and is not a list: the catalogue takes lists only.
    const ScriptDescriptor record = toScriptDescriptor(HandMadeDescriptor::record(
        {HandMadeDescriptor::text("G1"), HandMadeDescriptor::boolean(true)}));
    EXPECT_FALSE(record.isList);
    EXPECT_FALSE(record.text.has_value());
    EXPECT_EQ(record.items,
              (QList<ScriptDescriptor>{ScriptDescriptor::fromText(QStringLiteral("G1")),
                                       ScriptDescriptor::fromText(QStringLiteral("true"))}));

    // An item the platform does not hand out keeps its place, without text.
    auto withHole =
        HandMadeDescriptor::list({HandMadeDescriptor::text("a"), HandMadeDescriptor::text("b"),
                                  HandMadeDescriptor::text("c")});
    withHole.withUnreadableItem(1);
    EXPECT_EQ(toScriptDescriptor(withHole).items,
              (QList<ScriptDescriptor>{ScriptDescriptor::fromText(QStringLiteral("a")), missing(),
                                       ScriptDescriptor::fromText(QStringLiteral("c"))}));
}

TEST(DescriptorMapping, NestingBeyondAnyQLabAnswerStopsInsteadOfExhaustingTheStack) {
    HandMadeDescriptor deep = HandMadeDescriptor::text("bottom");
    for (int i = 0; i < 300; ++i)
        deep = HandMadeDescriptor::list({deep});
    const ScriptDescriptor mapped = toScriptDescriptor(deep);
    int depth = 0;
    const ScriptDescriptor* level = &mapped;
    while (!level->items.isEmpty()) {
        level = &level->items.front();
        ++depth;
    }
    EXPECT_EQ(depth, 256);
    EXPECT_TRUE(level->isList);
    EXPECT_FALSE(level->text.has_value());
}

TEST(DescriptorMapping, TheErrorDictionaryGivesItsMessageAndNumber) {
    EXPECT_EQ(toScriptError({"QLab got an error: Can’t get cue \"X\".", "Can’t get cue.", -1728L})
                  .description,
              QStringLiteral("QLab got an error: Can’t get cue \"X\". (-1728)"));
    // Cancel in QLab's bar dialog.
    EXPECT_EQ(toScriptError({"User canceled.", std::nullopt, -128L}).description,
              QStringLiteral("User canceled. (-128)"));
    // Without the full message the brief one stands in; without either, the number alone.
    EXPECT_EQ(toScriptError({std::string(), "Expected end of line.", -2741L}).description,
              QStringLiteral("Expected end of line. (-2741)"));
    EXPECT_EQ(toScriptError({std::nullopt, std::nullopt, -1708L}).description,
              QStringLiteral("AppleScript error (-1708)"));
    EXPECT_EQ(toScriptError(NativeScriptError{}).description, QStringLiteral("AppleScript error"));
}

} // namespace
} // namespace carvo
