#include "qlab/osc/osc.h"

#include <bit>
#include <cstring>

namespace carvo::osc {
namespace {

constexpr std::uint8_t end = 0xC0;
constexpr std::uint8_t escape = 0xDB;
constexpr std::uint8_t escapedEnd = 0xDC;
constexpr std::uint8_t escapedEscape = 0xDD;

void pad(std::vector<std::uint8_t>& out) {
    while (out.size() % 4 != 0)
        out.push_back(0);
}

void putString(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0); // at least one NUL, then to a multiple of four
    pad(out);
}

template <typename T> void putBigEndian(std::vector<std::uint8_t>& out, T value) {
    for (int shift = static_cast<int>(sizeof(T) * 8) - 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    std::optional<std::string> string() {
        const auto nul = m_bytes.find('\0', m_pos);
        if (nul == std::string_view::npos)
            return std::nullopt;
        std::string text(m_bytes.substr(m_pos, nul - m_pos));
        const std::size_t next = (nul + 4) & ~std::size_t{3};
        if (next > m_bytes.size())
            return std::nullopt;
        for (std::size_t i = nul; i < next; ++i)
            if (m_bytes[i] != '\0')
                return std::nullopt;
        m_pos = next;
        return text;
    }

    template <typename T> std::optional<T> bigEndian() {
        if (m_bytes.size() - m_pos < sizeof(T))
            return std::nullopt;
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value = static_cast<T>((value << 8) | static_cast<unsigned char>(m_bytes[m_pos + i]));
        m_pos += sizeof(T);
        return value;
    }

    std::optional<Blob> blob() {
        const auto size = bigEndian<std::uint32_t>();
        if (!size || *size > m_bytes.size() - m_pos)
            return std::nullopt;
        const std::size_t next = (m_pos + *size + 3) & ~std::size_t{3};
        if (next > m_bytes.size())
            return std::nullopt;
        Blob data(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_pos),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(m_pos + *size));
        m_pos = next;
        return data;
    }

    bool atEnd() const { return m_pos == m_bytes.size(); }

private:
    std::string_view m_bytes;
    std::size_t m_pos = 0;
};

} // namespace

char typeTag(const Argument& argument) {
    static constexpr char tags[] = {'i', 'f', 's', 'b', 'T', 'F', 'N', 'd', 'h'};
    return tags[argument.index()];
}

std::vector<std::uint8_t> encode(const Message& message) {
    std::vector<std::uint8_t> out;
    putString(out, message.address);
    std::string tags = ",";
    for (const Argument& argument : message.arguments)
        tags += typeTag(argument);
    putString(out, tags);
    for (const Argument& argument : message.arguments) {
        std::visit(
            [&](const auto& value) {
                using T = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<T, std::int32_t>) {
                    putBigEndian(out, static_cast<std::uint32_t>(value));
                } else if constexpr (std::is_same_v<T, float>) {
                    putBigEndian(out, std::bit_cast<std::uint32_t>(value));
                } else if constexpr (std::is_same_v<T, double>) {
                    putBigEndian(out, std::bit_cast<std::uint64_t>(value));
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    putBigEndian(out, static_cast<std::uint64_t>(value));
                } else if constexpr (std::is_same_v<T, std::string>) {
                    putString(out, value);
                } else if constexpr (std::is_same_v<T, Blob>) {
                    putBigEndian(out, static_cast<std::uint32_t>(value.size()));
                    out.insert(out.end(), value.begin(), value.end());
                    pad(out);
                }
                // T, F and N carry no bytes.
            },
            argument);
    }
    return out;
}

std::optional<Message> decode(std::string_view packet) {
    if (packet.empty() || packet.front() != '/' || packet.size() % 4 != 0)
        return std::nullopt;
    Reader reader(packet);
    Message message;
    auto address = reader.string();
    if (!address)
        return std::nullopt;
    message.address = std::move(*address);
    if (reader.atEnd())
        return message; // an old sender's message without a type tag string
    const auto tags = reader.string();
    if (!tags || tags->empty() || tags->front() != ',')
        return std::nullopt;
    for (const char tag : std::string_view(*tags).substr(1)) {
        switch (tag) {
        case 'i': {
            const auto value = reader.bigEndian<std::uint32_t>();
            if (!value)
                return std::nullopt;
            message.arguments.emplace_back(static_cast<std::int32_t>(*value));
            break;
        }
        case 'f': {
            const auto value = reader.bigEndian<std::uint32_t>();
            if (!value)
                return std::nullopt;
            message.arguments.emplace_back(std::bit_cast<float>(*value));
            break;
        }
        case 'd': {
            const auto value = reader.bigEndian<std::uint64_t>();
            if (!value)
                return std::nullopt;
            message.arguments.emplace_back(std::bit_cast<double>(*value));
            break;
        }
        case 'h': {
            const auto value = reader.bigEndian<std::uint64_t>();
            if (!value)
                return std::nullopt;
            message.arguments.emplace_back(static_cast<std::int64_t>(*value));
            break;
        }
        case 's': {
            auto value = reader.string();
            if (!value)
                return std::nullopt;
            message.arguments.emplace_back(std::move(*value));
            break;
        }
        case 'b': {
            auto value = reader.blob();
            if (!value)
                return std::nullopt;
            message.arguments.emplace_back(std::move(*value));
            break;
        }
        case 'T':
            message.arguments.emplace_back(True{});
            break;
        case 'F':
            message.arguments.emplace_back(False{});
            break;
        case 'N':
            message.arguments.emplace_back(Nil{});
            break;
        default:
            return std::nullopt;
        }
    }
    if (!reader.atEnd())
        return std::nullopt;
    return message;
}

std::optional<std::string> textOf(const Argument& argument) {
    if (const auto* text = std::get_if<std::string>(&argument))
        return *text;
    if (const auto number = integerOf(argument))
        return std::to_string(*number);
    return std::nullopt;
}

std::optional<std::int64_t> integerOf(const Argument& argument) {
    if (const auto* value = std::get_if<std::int32_t>(&argument))
        return *value;
    if (const auto* value = std::get_if<std::int64_t>(&argument))
        return *value;
    return std::nullopt;
}

std::vector<std::uint8_t> slipFrame(std::string_view packet) {
    std::vector<std::uint8_t> out;
    out.reserve(packet.size() + 8);
    out.push_back(end);
    for (const char c : packet) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte == end) {
            out.push_back(escape);
            out.push_back(escapedEnd);
        } else if (byte == escape) {
            out.push_back(escape);
            out.push_back(escapedEscape);
        } else {
            out.push_back(byte);
        }
    }
    out.push_back(end);
    return out;
}

std::vector<std::string> SlipDecoder::feed(std::string_view bytes) {
    std::vector<std::string> packets;
    for (const char c : bytes) {
        auto byte = static_cast<std::uint8_t>(c);
        if (byte == end) {
            if (!m_packet.empty() && !m_overflow)
                packets.push_back(std::move(m_packet));
            m_packet.clear();
            m_escaped = false;
            m_overflow = false;
            continue;
        }
        if (m_escaped) {
            m_escaped = false;
            if (byte == escapedEnd)
                byte = end;
            else if (byte == escapedEscape)
                byte = escape;
            // Any other byte after ESC is a framing error; RFC 1055 keeps the byte as it is.
        } else if (byte == escape) {
            m_escaped = true;
            continue;
        }
        if (m_overflow)
            continue;
        if (m_packet.size() >= m_maxPacket) {
            m_overflow = true;
            ++m_dropped;
            m_packet.clear();
            continue;
        }
        m_packet.push_back(static_cast<char>(byte));
    }
    return packets;
}

} // namespace carvo::osc
