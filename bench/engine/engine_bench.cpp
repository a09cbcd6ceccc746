// How long one jump takes up to the load script reaching QLab, and how much CPU one bar counter
// tick costs with 100 remote clients connected to the application's server.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/broadcaster.h"
#include "base/settings.h"
#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "engine/clock.h"
#include "engine/jump_controller.h"
#include "qlab/qlab_integration.h"
#include "qlab/script_runner.h"
#include "remote/tcp_server.h"
#include "support/midi_bytes.h"
#include "support/qt_benchmark.h"

namespace {

// The benchmark's own settings, never the user's.
carvo::Settings& benchSettings() {
    static QTemporaryDir folder;
    static carvo::Settings settings(folder.path());
    return settings;
}

using Clock = std::chrono::steady_clock;

// A QLab that answers every script at once: the MIDI form for the get-files script, "false"
// for both running questions, and the moment the load script arrives.
class InstantQLab final : public carvo::ScriptRunner {
public:
    explicit InstantQLab(QString answer) : m_answer(std::move(answer)) {}
    carvo::ScriptOutcome run(const QString& source) override {
        if (source.contains(QLatin1String("load myCue time barTime"))) {
            loadArrived = Clock::now();
            return {};
        }
        if (source.contains(QLatin1String("set cueFound to")))
            return {{}, carvo::ScriptDescriptor::fromText(m_answer)};
        return {{}, carvo::ScriptDescriptor::fromText(QStringLiteral("false"))};
    }
    bool isApplicationRunning(const QString&) override { return true; }

    std::optional<Clock::time_point> loadArrived;

private:
    QString m_answer;
};

// About 1 MB: a tempo track changing tempo every bar and time signature every 16 bars, and a
// note track of short notes, 480 ticks per quarter, some 1300 bars.
carvo::testing::Bytes largeMIDIFile() {
    using carvo::testing::appendVariableLength;
    constexpr std::uint32_t ticksPerBar = 1920;
    constexpr std::uint32_t bars = 1300;
    carvo::testing::Bytes tempo;
    for (std::uint32_t bar = 0; bar < bars; ++bar) {
        appendVariableLength(tempo, bar == 0 ? 0 : ticksPerBar);
        const std::uint32_t micros = 400'000 + (bar % 7) * 25'000;
        tempo.insert(tempo.end(),
                     {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(micros >> 16),
                      static_cast<std::uint8_t>(micros >> 8), static_cast<std::uint8_t>(micros)});
        if (bar % 16 == 0) {
            appendVariableLength(tempo, 0);
            tempo.insert(tempo.end(), {0xFF, 0x58, 0x04, 4, 2, 24, 8});
        }
    }
    carvo::testing::Bytes notes;
    std::uint32_t tick = 0;
    for (std::uint32_t k = 0; tick < bars * ticksPerBar; ++k, tick += 20) {
        const auto key = static_cast<std::uint8_t>(48 + k % 24);
        appendVariableLength(notes, 10);
        notes.insert(notes.end(), {0x90, key, 100});
        appendVariableLength(notes, 10);
        notes.insert(notes.end(), {0x80, key, 0});
    }
    carvo::testing::appendEndOfTrack(tempo);
    carvo::testing::appendEndOfTrack(notes);
    return carvo::testing::file(
        {carvo::testing::header(carvo::testing::formatMultipleTracks, 2, 480),
         carvo::testing::track(tempo), carvo::testing::track(notes)});
}

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

// No remote client listens.
class NoClients final : public carvo::Broadcaster {
public:
    void broadcast(const QString&) override {}
};

// A timer that never fires: the benchmark ticks by hand.
class StillTimer final : public carvo::RepeatingTimer {};

std::unique_ptr<carvo::RepeatingTimer> stillTimer(int, std::function<void()>) {
    return std::make_unique<StillTimer>();
}

void jumpOnce(benchmark::State& state, const QString& midiPath, qint64 bar) {
    auto qlab = std::make_shared<InstantQLab>(midiPath + QStringLiteral(", ") +
                                              QString::number(bar) + QStringLiteral(", 1, G1"));
    NoClients clients;
    carvo::QLabIntegration bridge(qlab, clients, benchSettings());
    carvo::BeatProgressModel progress;
    carvo::BarCounterManager counter(progress, clients, bridge.runningCheck());
    counter.setTimerFactory(stillTimer);
    counter.setRunningCheckExecutor([](std::function<void()>) {});
    carvo::JumpController jumps(counter, bridge, clients);
    for (auto _ : state) {
        qlab->loadArrived.reset();
        const auto start = Clock::now();
        jumps.jumpToBar(carvo::RequestSource::remote, bar);
        if (!qlab->loadArrived) {
            state.SkipWithError("the jump did not reach the load script");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*qlab->loadArrived - start).count());
    }
    counter.stopBarCounter(false);
}

void BM_JumpDemoFile(benchmark::State& state) {
    jumpOnce(state, QStringLiteral(CARVO_DEMO_MIDI), 9);
}
BENCHMARK(BM_JumpDemoFile)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_JumpOneMegabyteFile(benchmark::State& state) {
    const QString path = scratch().filePath(QStringLiteral("large.mid"));
    const auto bytes = largeMIDIFile();
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
    jumpOnce(state, path, 700);
}
BENCHMARK(BM_JumpOneMegabyteFile)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Plain loopback sockets that only read, as remote clients on other machines would: no event
// loop of this process watches them, so a send costs here what it costs the show machine.
int connectClient(quint16 port) {
    return carvo::bench::connectLoopbackClient(port, carvo::bench::Blocking::no);
}

void drainClients(const std::vector<int>& fds) {
    char buffer[4096];
    for (int fd : fds)
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
}

// The application's server with count clients connected over loopback.
struct ServedClients {
    carvo::TCPServer server{benchSettings()};
    std::vector<int> fds;

    bool open(int count) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        server.setPort(probe.serverPort());
        probe.close();
        server.startServer();
        if (!runUntil([&] { return server.isListening(); }))
            return false;
        for (int k = 0; k < count; ++k) {
            const int fd = connectClient(server.port());
            if (fd < 0)
                return false;
            fds.push_back(fd);
        }
        return runUntil([&] { return server.connectionCount() == count; });
    }
    ~ServedClients() {
        server.stopServer();
        for (int fd : fds)
            ::close(fd);
    }
    // Lets the clients read, between measured ticks.
    void drain() {
        QCoreApplication::processEvents();
        drainClients(fds);
    }

    static bool runUntil(const std::function<bool()>& done) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
};

// Ticks through a 1000-bar piece, 0.05 s apart; with state.range(0) clients connected.
void BM_Tick(benchmark::State& state) {
    ServedClients clients;
    if (!clients.open(static_cast<int>(state.range(0)))) {
        state.SkipWithError("loopback clients could not connect");
        return;
    }
    carvo::BeatProgressModel progress;
    carvo::BarCounterManager counter(progress, clients.server, {});
    counter.setTimerFactory(stillTimer);
    counter.setRunningCheckExecutor([](std::function<void()>) {});

    // 120 beats per minute in 4/4 for 1000 bars, the counter 0.05 s further at every tick.
    carvo::BarTables tables{{0.0F}, {0}};
    for (int n = 1; n <= 1001; ++n) {
        tables.barStartTimes.push_back(2.0F * static_cast<float>(n - 1));
        tables.barBeatCounts.push_back(4);
    }
    carvo::FollowedMusic music;
    music.tables = std::make_shared<const carvo::BarTables>(std::move(tables));
    music.firstBarNumber = 1;
    music.currentBarIndex = 1;
    music.jumpBarTime = 0.0F;
    music.jumpStartTime = 1'700'000'000.0;
    double now = music.jumpStartTime;
    counter.setWallClock([&now] { return now; });
    counter.startBarCounter(QStringLiteral("G1"), music);
    std::int64_t ticks = 0;
    for (auto _ : state) {
        now += 0.05;
        counter.barCounterTick(QStringLiteral("G1"));
        state.PauseTiming();
        clients.drain();
        if (counter.followed().currentBarIndex > 990) {
            music.jumpStartTime = now;
            counter.startBarCounter(QStringLiteral("G1"), music);
        }
        ++ticks;
        state.ResumeTiming();
    }
    state.counters["ticks"] = static_cast<double>(ticks);
    counter.stopBarCounter(false);
}
BENCHMARK(BM_Tick)->Arg(0)->Arg(100)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// For scale: the system's own cost of one "BAR: " line to each of state.range(0) loopback
// connections, plain send calls with nothing else around them. On loopback the receiving side's
// network work runs inside the sender's call, so this is the floor under any tick.
void BM_SendFloor(benchmark::State& state) {
    const auto count = static_cast<int>(state.range(0));
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, count) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        state.SkipWithError("no loopback listener");
        return;
    }
    std::vector<int> clients;
    std::vector<int> senders;
    for (int k = 0; k < count; ++k) {
        clients.push_back(connectClient(ntohs(address.sin_port)));
        senders.push_back(::accept(listener, nullptr, nullptr));
        const int on = 1;
        ::setsockopt(senders.back(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    const char line[] = "BAR: 12.3 0.5625";
    for (auto _ : state) {
        for (int fd : senders)
            ::send(fd, line, sizeof line - 1, MSG_DONTWAIT | MSG_NOSIGNAL);
        state.PauseTiming();
        drainClients(clients);
        state.ResumeTiming();
    }
    for (int fd : clients)
        ::close(fd);
    for (int fd : senders)
        ::close(fd);
    ::close(listener);
}
BENCHMARK(BM_SendFloor)->Arg(100)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    return carvo::bench::runQtBenchmarks(argc, argv);
}
