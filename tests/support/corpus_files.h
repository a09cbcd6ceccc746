#pragma once
// The public MIDI files written by others that the tests read, kept in the repository in
// tests/data/corpus (CARVO_TEST_CORPUS_DIR), each collection with its licence.

#include <filesystem>
#include <string>
#include <vector>

namespace carvo::testing {

inline const std::filesystem::path corpus{CARVO_TEST_CORPUS_DIR};

// Whether the corpus is there; the reason to show when it is not.
inline std::string corpusMissing() {
    if (std::filesystem::is_directory(corpus / "jazz-soft-test-midi-files") &&
        std::filesystem::is_directory(corpus / "midly-tests"))
        return {};
    return "The public MIDI test files are missing at " + corpus.string() +
           " (they belong to the repository: tests/data/corpus).";
}

// Every .mid, .rmi and .syx file in the corpus, at any depth.
inline std::vector<std::filesystem::path> corpusFiles() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() &&
            (extension == ".mid" || extension == ".rmi" || extension == ".syx"))
            files.push_back(entry.path());
    }
    return files;
}

} // namespace carvo::testing
