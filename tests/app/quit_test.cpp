// Closing the main window ends the process: status 0 and "view dissapeared" on standard output.
// Each case runs the windowed application in a child process, offscreen, and closes its main
// window as the operator would.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include "app/runner_setup.h"
#include "app/shared_objects.h"
#include "app/window.h"
#include "base/settings.h"

namespace {

struct ChildResult {
    bool exited = false;
    int status = -1;
    std::string output;
};

// A loopback port nothing listens on now, chosen by the kernel so that tests running side by side
// do not pick the same one.
quint16 freeLoopbackPort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (probe >= 0)
        close(probe);
    return port;
}

QQuickWindow* visibleWindow(const QString& title) {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->isExposed() && window->title() == title)
            return qobject_cast<QQuickWindow*>(window);
    }
    return nullptr;
}

// In the child: start the server on a loopback test port, show the window, and once it is up,
// let openCueListFirst decide whether the cue list window is opened before the close.
[[noreturn]] void runApplicationAndClose(bool openCueListFirst) {
    int argc = 1;
    char name[] = "carvo";
    char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    QTemporaryDir folder;
    carvo::Settings settings(folder.path());
    settings.setStoredInterfaceName(QStringLiteral("lo"));
    carvo::SharedObjects objects(std::shared_ptr<carvo::ScriptRunner>{}, settings); // no QLab
    auto& server = objects.server();
    server.setPort(freeLoopbackPort());
    server.startServer();

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QQuickWindow* main = visibleWindow(QStringLiteral("Carvo"));
        if (!main)
            return;
        if (openCueListFirst && !visibleWindow(QStringLiteral("Cue List"))) {
            QObject* button = main->findChild<QObject*>(QStringLiteral("cueListButton"));
            QMetaObject::invokeMethod(button, "clicked");
            return;
        }
        poll.stop();
        main->close();
    });
    poll.start(10);
    const int status = carvo::runWindow(objects, carvo::RunnerChoice{});
    std::fflush(stdout);
    _exit(status);
}

ChildResult runChild(bool openCueListFirst) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        runApplicationAndClose(openCueListFirst);
    }
    close(pipeEnds[1]);

    // Read until the child closes its end, for at most 30 seconds.
    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd fd{pipeEnds[0], POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exited = WIFEXITED(status);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(QuitOnClose, ClosingTheMainWindowEndsTheProcessWithStatusZero) {
    const ChildResult result = runChild(false);
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("\nview dissapeared\n"), std::string::npos) << result.output;
}

TEST(QuitOnClose, AnOpenCueListWindowDoesNotKeepTheProcessAlive) {
    const ChildResult result = runChild(true);
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("view dissapeared"), std::string::npos) << result.output;
}

// Without a window the process needs no display at all: with a platform that does not exist a
// windowed start would abort, the headless one serves until it is told to stop.
TEST(Headless, RunsWithoutAWindowUntilTerminated) {
    QTemporaryDir folder;
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        setenv("QT_QPA_PLATFORM", "no-such-platform", 1);
        const std::string port = std::to_string(freeLoopbackPort());
        const std::string settingsDir = folder.path().toStdString();
        execl(CARVO_EXECUTABLE, "carvo", "--headless", "--port", port.c_str(), "--settings-dir",
              settingsDir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);

    std::string output;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool terminated = false;
    for (;;) {
        if (!terminated && (output.find("Server is ready") != std::string::npos ||
                            std::chrono::steady_clock::now() > deadline)) {
            kill(pid, SIGTERM);
            terminated = true;
        }
        pollfd fd{pipeEnds[0], POLLIN, 0};
        if (poll(&fd, 1, 200) <= 0)
            continue;
        const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_NE(output.find("Server is ready"), std::string::npos) << output;
    EXPECT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_EQ(output.find("view dissapeared"), std::string::npos) << output;
}

} // namespace
