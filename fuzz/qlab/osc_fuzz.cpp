// Feeds arbitrary bytes to the OSC reader and the SLIP stream splitter, and checks what must hold
// whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "qlab/osc/osc.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

std::string bytesOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace carvo::osc;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Whatever reads as a message writes out as one that reads back to the same bytes.
    if (const auto message = decode(bytes)) {
        const std::string written = bytesOf(encode(*message));
        const auto again = decode(written);
        require(again.has_value());
        require(bytesOf(encode(*again)) == written);
    }

    // Every packet cut from the stream frames back into exactly itself; none exceeds the limit.
    SlipDecoder stream(64);
    for (const std::string& packet : stream.feed(bytes)) {
        require(!packet.empty() && packet.size() <= 64);
        SlipDecoder fresh;
        const auto framed = bytesOf(slipFrame(packet));
        const auto back = fresh.feed(framed);
        require(back.size() == 1 && back.front() == packet);
    }
    return 0;
}
