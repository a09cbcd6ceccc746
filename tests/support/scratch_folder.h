#pragma once
// A folder of one test's own under the system's temporary folder, and the files the test writes
// into it; removed with the test. Plain C++, for the suites that do without Qt.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace carvo::testing {

class ScratchFolder {
public:
    // prefix names the suite; the process and the running test make the name unique, so suites
    // that run side by side never share a folder.
    explicit ScratchFolder(const std::string& prefix) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 (prefix + "-" + std::to_string(::getpid()) + "-" +
                  (test ? std::string(test->name()) : std::string("suite")));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Writes bytes as the file name in the folder; its path.
    std::filesystem::path write(const std::string& name,
                                const std::vector<std::uint8_t>& bytes) const {
        const auto file = m_path / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path m_path;
};

} // namespace carvo::testing
