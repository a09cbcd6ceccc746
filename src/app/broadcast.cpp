#include "app/broadcast.h"

namespace carvo {
namespace {
Broadcaster& installed() {
    static Broadcaster broadcaster;
    return broadcaster;
}
} // namespace

void setBroadcaster(Broadcaster broadcaster) {
    installed() = std::move(broadcaster);
}

void broadcast(const QString& message) {
    if (installed())
        installed()(message);
}

} // namespace carvo
