#include "base/quit_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QPointer>

#include "base/lines.h"

namespace carvo {
namespace {

int signalPipe[2] = {-1, -1};
std::atomic<bool> quitting{false};

extern "C" void onQuitSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// Where the quit action goes, and who is to be abandoned; shared with the watcher thread.
struct Registry {
    std::mutex mutex;
    QPointer<QuitSignals> target;
    std::function<void()> onQuit;
    std::uint64_t nextId = 1;
    std::map<std::uint64_t, std::function<void()>> abandons;
};

Registry& registry() {
    static auto* shared = new Registry; // never destroyed: the watcher may outlive main()
    return *shared;
}

// Reads one signal byte; -1 when the pipe is gone, 0 when time ran out.
int readSignal(int timeoutMilliseconds) {
    for (;;) {
        pollfd fd{signalPipe[0], POLLIN, 0};
        const int ready = ::poll(&fd, 1, timeoutMilliseconds);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return 0;
        char byte = 0;
        const auto got = ::read(signalPipe[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        return got == 1 ? static_cast<unsigned char>(byte) : -1;
    }
}

[[noreturn]] void endNow(int signal, const char* why) {
    writeLine(std::string("Carvo ends at once: ") + why);
    std::_Exit(128 + signal);
}

void watch() {
    const int signal = readSignal(-1);
    if (signal <= 0)
        return;
    quitting = true;
    {
        Registry& shared = registry();
        std::lock_guard lock(shared.mutex);
        for (auto& [id, abandon] : shared.abandons)
            abandon();
        if (QuitSignals* target = shared.target.data())
            QMetaObject::invokeMethod(target, shared.onQuit, Qt::QueuedConnection);
    }
    // The event loop ends the process well before this unless something still holds it.
    const int second = readSignal(QuitSignals::graceMilliseconds);
    if (second > 0)
        endNow(second, "a second signal came");
    endNow(signal, "the main thread did not end in time after the signal");
}

} // namespace

bool quitRequested() {
    return quitting.load();
}

QuitSignals::QuitSignals(std::function<void()> onQuit, QObject* parent)
    : QObject(parent), m_onQuit(std::move(onQuit)) {
    const bool first = signalPipe[0] < 0;
    if (first && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    {
        Registry& shared = registry();
        std::lock_guard lock(shared.mutex);
        shared.target = this;
        shared.onQuit = [this] {
            if (m_onQuit)
                m_onQuit();
        };
    }
    if (first)
        std::thread(watch).detach();

    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    if (shared.target != this)
        return;
    shared.target = nullptr;
    shared.onQuit = nullptr;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

AbandonOnQuit::AbandonOnQuit(std::function<void()> abandon) {
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    if (quitting) {
        abandon();
        return;
    }
    m_id = shared.nextId++;
    shared.abandons.emplace(m_id, std::move(abandon));
}

AbandonOnQuit::~AbandonOnQuit() {
    if (m_id == 0)
        return;
    Registry& shared = registry();
    std::lock_guard lock(shared.mutex);
    shared.abandons.erase(m_id);
}

} // namespace carvo
