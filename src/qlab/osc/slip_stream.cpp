#include "qlab/osc/slip_stream.h"

#include <QIODevice>

namespace carvo::osc {

SlipStreamReader::Read SlipStreamReader::read(QIODevice& device) {
    const QByteArray bytes = device.readAll();
    Read read;
    read.bytes = static_cast<std::size_t>(bytes.size());
    if (bytes.isEmpty())
        return read;
    if (!m_heardAnything)
        m_lengthPrefixed = bytes.front() == '\0';
    m_heardAnything = true;
    read.packets = m_decoder.feed(std::string_view(bytes.constData(), read.bytes));
    return read;
}

void writeFramed(QIODevice& device, std::string_view packet) {
    const auto frame = slipFrame(packet);
    device.write(reinterpret_cast<const char*>(frame.data()), static_cast<qint64>(frame.size()));
}

void writeFramed(QIODevice& device, const Message& message) {
    const auto bytes = encode(message);
    writeFramed(device,
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace carvo::osc
