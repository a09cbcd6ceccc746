// The tempo map from a decoded file's event tables and from the decoding that keeps no table must
// agree: the same bar tables, and the same refusals with the same text, on the public corpus and
// on generated files.

#include "engine/tempo_map.h"
#include "support/corpus_files.h"
#include "support/midi_bytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace carvo {
namespace {

// Everything a reader of the tempo map sees: the lines it was told and the tables it got.
struct Outcome {
    std::vector<std::string> lines;
    std::optional<BarTables> tables;
};

Outcome throughTheEventTables(const std::filesystem::path& file) {
    Outcome outcome;
    const LineWriter write = [&](std::string_view line) { outcome.lines.emplace_back(line); };
    if (const auto decoded = readMIDIFile(file, write))
        outcome.tables = tempoMapOf(*decoded);
    return outcome;
}

Outcome withoutEventTables(const std::filesystem::path& file) {
    Outcome outcome;
    outcome.tables =
        readTempoMap(file, [&](std::string_view line) { outcome.lines.emplace_back(line); });
    return outcome;
}

TEST(TempoMapPaths, AgreeOnEveryCorpusFile) {
    ASSERT_EQ(testing::corpusMissing(), "");
    const auto files = testing::corpusFiles();
    std::size_t mapped = 0;
    for (const auto& file : files) {
        const Outcome expected = throughTheEventTables(file);
        const Outcome actual = withoutEventTables(file);
        EXPECT_EQ(actual.lines, expected.lines) << file;
        EXPECT_EQ(actual.tables, expected.tables) << file;
        if (expected.tables)
            ++mapped;
    }
    EXPECT_GE(files.size(), 70u);
    // Both outcomes are well represented.
    EXPECT_GT(mapped, files.size() / 2);
    EXPECT_LT(mapped, files.size());
}

// A track of random tempo and time-signature changes among notes under running status, text and
// system exclusive; now and then a byte that no event kind takes, a meta event of the wrong
// length, or a body cut short.
testing::Bytes randomBody(std::mt19937& random) {
    const auto below = [&](unsigned n) { return static_cast<std::uint8_t>(random() % n); };
    testing::Bytes body;
    const auto delta = [&] {
        testing::appendVariableLength(
            body, static_cast<std::uint32_t>(random() % 4 == 0 ? random() % 4000 : random() % 100));
    };
    bool status = false; // whether running status is in force
    const int events = 1 + static_cast<int>(random() % 40);
    for (int e = 0; e < events; ++e) {
        delta();
        switch (random() % 10) {
        case 0:
            body.insert(body.end(), {0xFF, 0x51, 0x03, below(16), below(256), below(256)});
            break;
        case 1: // numerator 0 and huge exponents included
            body.insert(body.end(), {0xFF, 0x58, 0x04, below(13), below(8), 24, 8});
            break;
        case 2:
            body.insert(body.end(), {0xFF, 0x05, 0x02, 'l', 'a'});
            break;
        case 3:
            body.insert(body.end(), {0xF0, 0x03, 0x43, 0x10, 0xF7});
            status = false;
            break;
        case 4:
            body.insert(body.end(), {0xFF, 0x51, 0x04, 0x07, 0xA1, 0x20, 0x00});
            break;
        case 5:
            if (random() % 16 == 0) {
                body.push_back(random() % 2 == 0 ? 0xF4 : 0xF7);
                break;
            }
            [[fallthrough]];
        case 6:
            body.insert(body.end(), {static_cast<std::uint8_t>(0x90 | below(16)), below(128), 64});
            status = true;
            break;
        default: // running status; now and then where none is in force
            if (status || random() % 32 == 0)
                body.insert(body.end(), {below(128), below(128)});
            else
                body.insert(body.end(), {0xFF, 0x01, 0x00});
            break;
        }
    }
    testing::appendEndOfTrack(body);
    if (random() % 24 == 0)
        body.resize(body.size() - 1 - random() % 3);
    return body;
}

testing::Bytes randomFile(std::mt19937& random) {
    const auto tracks = static_cast<std::uint16_t>(1 + random() % 4);
    const std::uint16_t divisions[] = {480, 96, 1, 0, 0xE728, 480, 960, 0xE128};
    testing::Bytes bytes =
        testing::header(testing::formatMultipleTracks, tracks, divisions[random() % 8]);
    for (std::uint16_t t = 0; t < tracks; ++t)
        testing::append(bytes, testing::track(randomBody(random)));
    return bytes;
}

// The tables, or the refusal's plain text.
struct Result {
    std::optional<BarTables> tables;
    std::string refusal;
    bool operator==(const Result&) const = default;
};

template <class Build> Result resultOf(Build&& build) {
    try {
        return {build(), {}};
    } catch (const smf::DecodeError& error) {
        return {std::nullopt, error.plainText()};
    }
}

TEST(TempoMapPaths, AgreeOnGeneratedFiles) {
    std::mt19937 random(1811);
    int mapped = 0;
    for (int i = 0; i < 4000; ++i) {
        const testing::Bytes bytes = randomFile(random);
        const Result expected = resultOf([&] { return tempoMapOf(smf::MIDIFile::decode(bytes)); });
        const Result actual = resultOf([&] { return tempoMapOfBytes(bytes); });
        ASSERT_EQ(actual.refusal, expected.refusal) << i;
        ASSERT_EQ(actual.tables, expected.tables) << i;
        if (expected.tables)
            ++mapped;
    }
    EXPECT_GT(mapped, 400);
    EXPECT_LT(mapped, 3600);
}

} // namespace
} // namespace carvo
