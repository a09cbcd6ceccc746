// Feeds arbitrary bytes to the reading of client messages and to the client's stream splitter,
// and checks what must hold whatever the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bytes/utf8.h"
#include "remote/protocol.h"

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace carvo::protocol;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const Request request = parseRequest(bytes);
    const bool valid = carvo::bytes::isValidUtf8(bytes);
    require(valid == (request.kind != RequestKind::invalidText));
    switch (request.kind) {
    case RequestKind::stop:
        require(bytes.starts_with(stopPrefix));
        break;
    case RequestKind::barRequest:
        require(bytes.starts_with(barRequestPrefix) && request.text.empty());
        break;
    case RequestKind::badBarNumber:
        require(bytes.starts_with(barRequestPrefix));
        break;
    case RequestKind::remoteSelected:
        require(bytes.starts_with(remoteSelectedPrefix));
        require(request.text.size() < bytes.size());
        // Removing a prefix from valid text cuts at ASCII boundaries, so the cue stays valid.
        require(carvo::bytes::isValidUtf8(request.text));
        break;
    default:
        break;
    }

    // Whatever pieces the stream arrives in, the splitter gives back every byte, in order.
    ServerStreamSplitter splitter;
    std::string joined;
    const std::size_t piece = size == 0 ? 1 : (data[0] % 7U) + 1U;
    for (std::size_t at = 0; at < size; at += piece)
        for (const std::string& message : splitter.feed(bytes.substr(at, piece))) {
            require(!message.empty());
            joined += message;
        }
    if (auto rest = splitter.flush())
        joined += *rest;
    require(joined == bytes);
    return 0;
}
