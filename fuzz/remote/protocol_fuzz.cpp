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
    const bool valid = carvo::bytes::isValidUTF8(bytes);
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
        require(bytes.substr(remoteSelectedPrefix.size()) == request.text);
        // The echo is one message to a client, even with the server's next message after it.
        for (const std::string_view next : {std::string_view("BAR: 1.1 0"), errorPrefix,
                                            handshakeResponseMessage, beatsPerBarPrefix}) {
            ServerStreamSplitter echo;
            const auto messages = echo.feed(std::string(bytes) + std::string(next));
            require(!messages.empty() && messages.front() == bytes);
        }
        break;
    case RequestKind::refusedSelection:
        require(bytes.starts_with(remoteSelectedPrefix) && !request.text.empty());
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
