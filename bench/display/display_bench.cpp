// The cost to Carvo of one tick with 100 stage displays: the feed's publish and the event loop's
// work until the system has taken the message for every browser, against writing the very same
// bytes (the WebSocket frame) to 100 plain TCP sockets until the system has taken them. The
// figure is this thread's CPU time; a thread of its own reads for all 100 clients, alike in both
// cases, so no buffer fills.
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "display/display_server.h"
#include "display/feed.h"
#include "support/qt_benchmark.h"

namespace {

using carvo::display::DisplayServer;
using carvo::display::Feed;
using carvo::display::Phase;
using carvo::display::State;

constexpr int clientCount = 100;
constexpr double fixedServerTime = 1'765'000'000'000.0;

// Ticks of equal length: two positions whose texts have the same number of characters.
State tick(int i) {
    State state;
    state.cueID = QStringLiteral("D-GROUP-OVERTURE");
    state.cueName = QStringLiteral("Overture");
    state.phase = Phase::running;
    state.bar = 17;
    state.beat = 1 + i % 2;
    state.progress = i % 2 == 0 ? 0.125 : 0.375;
    state.barStartMs = fixedServerTime;
    state.barLengthMs = 2000.0;
    return state;
}

// Reads everything that arrives on the clients' sockets and counts the bytes.
class Readers {
public:
    explicit Readers(std::vector<int> descriptors) : m_descriptors(std::move(descriptors)) {
        m_thread = std::thread([this] { run(); });
    }
    ~Readers() {
        m_stop = true;
        m_thread.join();
        for (const int descriptor : m_descriptors)
            ::close(descriptor);
    }
    long received() const { return m_received.load(std::memory_order_acquire); }

private:
    void run() {
        std::vector<pollfd> polled;
        for (const int descriptor : m_descriptors)
            polled.push_back({descriptor, POLLIN, 0});
        std::vector<char> buffer(64 * 1024);
        while (!m_stop) {
            if (::poll(polled.data(), polled.size(), 10) <= 0)
                continue;
            for (pollfd& entry : polled) {
                if ((entry.revents & POLLIN) == 0)
                    continue;
                const ssize_t got = ::recv(entry.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (got > 0)
                    m_received.fetch_add(got, std::memory_order_release);
            }
        }
    }

    std::vector<int> m_descriptors;
    std::atomic<long> m_received{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void spinUntil(const std::function<bool()>& done) {
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void BM_TickToDisplays(benchmark::State& state) {
    DisplayServer server;
    server.setClock([] { return fixedServerTime; });
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        state.SkipWithError("cannot listen");
        return;
    }
    std::vector<int> descriptors;
    const QByteArray upgrade = "GET /feed HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                               "Connection: Upgrade\r\nSec-WebSocket-Key: "
                               "dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
    for (int i = 0; i < clientCount; ++i) {
        const int descriptor = carvo::bench::connectLoopbackClient(server.port());
        if (descriptor < 0 ||
            ::send(descriptor, upgrade.constData(), static_cast<size_t>(upgrade.size()), 0) < 0) {
            state.SkipWithError("cannot connect");
            return;
        }
        descriptors.push_back(descriptor);
    }
    spinUntil([&] { return server.clientCount() == clientCount; });
    Readers readers(descriptors);
    // The handshakes and first states arrive; then one tick shows how long a tick is.
    int i = 0;
    server.publish(tick(i++));
    long before = 0;
    for (long now = -1; now != before;) {
        before = now;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        spinUntil([&] { return std::chrono::steady_clock::now() > until; });
        now = readers.received();
    }
    server.publish(tick(i++));
    spinUntil([&] { return readers.received() > before; });
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    spinUntil([&] { return std::chrono::steady_clock::now() > settle; });
    const long perTick = readers.received() - before;

    for (auto _ : state) {
        server.publish(tick(i++));
        spinUntil([&] { return server.unsentBytes() == 0; });
    }
    state.counters["bytes_per_client"] = static_cast<double>(perTick) / clientCount;
}

void BM_SameBytesToPlainSockets(benchmark::State& state) {
    const bool flushAtOnce = state.range(0) != 0;
    // The bytes of one tick's WebSocket frame: the feed's message behind its two-part header.
    Feed feed;
    feed.update(tick(0), fixedServerTime);
    const QByteArray message = feed.update(tick(1), fixedServerTime).front();
    QByteArray frame;
    frame.append(char(0x81)); // a final text frame
    if (message.size() < 126) {
        frame.append(char(message.size()));
    } else {
        frame.append(char(126));
        frame.append(char((message.size() >> 8) & 0xff));
        frame.append(char(message.size() & 0xff));
    }
    frame.append(message);

    QTcpServer listener;
    listener.setListenBacklogSize(256);
    listener.setMaxPendingConnections(clientCount);
    listener.listen(QHostAddress::LocalHost, 0);
    std::vector<int> descriptors;
    for (int i = 0; i < clientCount; ++i)
        descriptors.push_back(carvo::bench::connectLoopbackClient(listener.serverPort()));
    std::vector<QTcpSocket*> sockets;
    spinUntil([&] {
        while (QTcpSocket* socket = listener.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            sockets.push_back(socket);
        }
        return sockets.size() == clientCount;
    });
    Readers readers(descriptors);
    for (auto _ : state) {
        // Handed to the system at once, as the remote server does with its ticks (argument 1),
        // or left to the event loop, as Qt does by itself (0).
        for (QTcpSocket* socket : sockets) {
            socket->write(frame);
            if (flushAtOnce)
                socket->flush();
        }
        spinUntil([&] {
            for (const QTcpSocket* socket : sockets) {
                if (socket->bytesToWrite() > 0)
                    return false;
            }
            return true;
        });
    }
    state.counters["bytes_per_client"] = static_cast<double>(frame.size());
}

BENCHMARK(BM_TickToDisplays)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SameBytesToPlainSockets)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return carvo::bench::runQtBenchmarks(argc, argv);
}
