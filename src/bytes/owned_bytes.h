#pragma once
// Bytes that an event owns, in one pointer's space. A track holds millions of events and every
// jump decodes its file afresh, so the few events that carry data must not make every event
// bigger: the length lives in front of the bytes on the heap, and an empty value allocates
// nothing.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace carvo::bytes {

class OwnedBytes {
public:
    OwnedBytes() = default;
    explicit OwnedBytes(std::span<const std::uint8_t> bytes) { assign(bytes); }
    OwnedBytes(std::initializer_list<std::uint8_t> bytes)
        : OwnedBytes(std::span<const std::uint8_t>(bytes.begin(), bytes.size())) {}
    OwnedBytes(const OwnedBytes& other) { assign(other.view()); }
    OwnedBytes(OwnedBytes&&) noexcept = default;
    OwnedBytes& operator=(const OwnedBytes& other) {
        if (this != &other)
            assign(other.view());
        return *this;
    }
    OwnedBytes& operator=(OwnedBytes&&) noexcept = default;
    ~OwnedBytes() = default;

    std::size_t size() const {
        if (!m_storage)
            return 0;
        std::uint32_t length = 0;
        std::memcpy(&length, m_storage.get(), sizeof length);
        return length;
    }
    bool empty() const { return size() == 0; }
    const std::uint8_t* data() const { return m_storage ? m_storage.get() + prefix : nullptr; }
    std::span<const std::uint8_t> view() const { return {data(), size()}; }
    const std::uint8_t* begin() const { return data(); }
    const std::uint8_t* end() const { return data() + size(); }
    std::uint8_t back() const { return data()[size() - 1]; }
    std::vector<std::uint8_t> toVector() const { return {begin(), end()}; }

    friend bool operator==(const OwnedBytes& a, const OwnedBytes& b) {
        return equal(a.view(), b.view());
    }
    friend bool operator==(const OwnedBytes& a, const std::vector<std::uint8_t>& b) {
        return equal(a.view(), b);
    }

private:
    static constexpr std::size_t prefix = sizeof(std::uint32_t);

    static bool equal(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
        return a.size() == b.size() &&
               (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
    }

    // Chunk bodies and so every event's data are limited to 32-bit lengths by the file format.
    void assign(std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) {
            m_storage.reset();
            return;
        }
        auto storage = std::make_unique_for_overwrite<std::uint8_t[]>(prefix + bytes.size());
        const auto length = static_cast<std::uint32_t>(bytes.size());
        std::memcpy(storage.get(), &length, sizeof length);
        std::memcpy(storage.get() + prefix, bytes.data(), bytes.size());
        m_storage = std::move(storage);
    }

    std::unique_ptr<std::uint8_t[]> m_storage;
};

// UTF-8 text that an event owns, in one pointer's space.
class OwnedText {
public:
    OwnedText() = default;
    explicit OwnedText(std::string_view text)
        : m_bytes(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                                text.size())) {}

    std::string_view view() const {
        return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()};
    }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }
    std::size_t size() const { return m_bytes.size(); }
    bool empty() const { return m_bytes.empty(); }

    friend bool operator==(const OwnedText& a, const OwnedText& b) {
        return a.m_bytes == b.m_bytes;
    }
    friend bool operator==(const OwnedText& a, std::string_view b) { return a.view() == b; }

private:
    OwnedBytes m_bytes;
};

} // namespace carvo::bytes
