#pragma once
// OSC over a TCP stream, as QLab speaks it: SLIP-framed packets read from and written to a socket.
// One reader per connection; it keeps the part of a packet that has not fully arrived.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "qlab/osc/osc.h"

class QIODevice;

namespace carvo::osc {

class SlipStreamReader {
public:
    explicit SlipStreamReader(std::size_t maxPacket) : m_decoder(maxPacket) {}

    struct Read {
        std::size_t bytes = 0;            // how many bytes the device held
        std::vector<std::string> packets; // those completed by them, in order
    };
    // Takes everything the device holds now.
    Read read(QIODevice& device);

    // Whether any byte came yet.
    bool heardAnything() const { return m_heardAnything; }
    // Whether the stream's first byte was NUL: a length prefix (liblo's and others' TCP framing
    // by default), where SLIP begins with its END byte.
    bool looksLengthPrefixed() const { return m_lengthPrefixed; }
    // How many packets were dropped so far for being longer than the limit.
    std::size_t droppedPackets() const { return m_decoder.droppedPackets(); }

private:
    SlipDecoder m_decoder;
    bool m_heardAnything = false;
    bool m_lengthPrefixed = false;
};

// Writes one packet, or one message, SLIP-framed.
void writeFramed(QIODevice& device, std::string_view packet);
void writeFramed(QIODevice& device, const Message& message);

} // namespace carvo::osc
