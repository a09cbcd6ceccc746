#pragma once
// Open Sound Control 1.0 messages and the double-END SLIP framing of OSC 1.1 streams, as QLab
// speaks them over TCP. Plain C++, so untrusted bytes from the network can be tested and fuzzed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace carvo::osc {

using Blob = std::vector<std::uint8_t>;
struct True {
    bool operator==(const True&) const = default;
};
struct False {
    bool operator==(const False&) const = default;
};
struct Nil {
    bool operator==(const Nil&) const = default;
};

// One argument: i (int32), f (float32), s (string), b (blob), T, F, N, d (float64), h (int64).
using Argument =
    std::variant<std::int32_t, float, std::string, Blob, True, False, Nil, double, std::int64_t>;

// The type tag character of an argument.
char typeTag(const Argument& argument);

struct Message {
    std::string address;
    std::vector<Argument> arguments;
    bool operator==(const Message&) const = default;
};

// The message in OSC 1.0's binary form: padded address, type tag string, big-endian arguments.
std::vector<std::uint8_t> encode(const Message& message);

// A whole packet read back; none when it is not a well-formed message (a bundle, a missing
// type tag string, an unknown tag, padding or lengths that run past the end).
std::optional<Message> decode(std::string_view packet);

// The text form of an argument, where the other side may send a number or a string.
std::optional<std::string> textOf(const Argument& argument);
std::optional<std::int64_t> integerOf(const Argument& argument);

// SLIP (RFC 1055) with an END byte before and after every packet, END and ESC inside escaped.
std::vector<std::uint8_t> slipFrame(std::string_view packet);

// Cuts a byte stream into the packets it frames. Bytes may arrive in any pieces; empty packets
// (two END bytes in a row) are skipped. A packet longer than maxPacket is dropped whole.
class SlipDecoder {
public:
    explicit SlipDecoder(std::size_t maxPacket = 1 << 20) : m_maxPacket(maxPacket) {}
    std::vector<std::string> feed(std::string_view bytes);
    // How many packets were dropped for their length so far.
    std::size_t droppedPackets() const { return m_dropped; }

private:
    std::string m_packet;
    std::size_t m_maxPacket;
    std::size_t m_dropped = 0;
    bool m_escaped = false;
    bool m_overflow = false;
};

} // namespace carvo::osc
