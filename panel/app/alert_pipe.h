// The alert pipe: the watchers send each finding to it as "[finding] path".
// A thread of its own does the pipe's I/O; the beep, the tray and the
// pop-up run on the user-interface thread while the thread waits to answer,
// so a sender is answered only once the administrator has.
#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {
class PipeServer;
}

namespace panel {

// How long a client that connected may take to send its message.
inline constexpr uint32_t kAlertReadLimitMs = 5000;

class AlertPipeServer {
public:
    // `handler` runs on the thread of `context` with the message's bytes
    // (code page 932, up to the first NUL).
    using Handler = std::function<void(const std::string& message)>;
    AlertPipeServer(QObject* context, Handler handler, uint32_t readLimitMs = kAlertReadLimitMs);
    // Stops the pipe and joins its thread.
    ~AlertPipeServer();

    // Creates the pipe and starts the thread; a pipe that cannot be made
    // is told on standard error and false is returned.
    bool Start();

private:
    void Serve();

    QPointer<QObject> context_;
    Handler handler_;
    uint32_t readLimitMs_;
    std::unique_ptr<platform::PipeServer> pipe_;
    std::thread thread_;
};

// What the user-interface thread does for one message: beep, tip and
// balloon, and for a message naming a file the pop-up, deleting the file
// on Yes.
void ShowAlert(const std::string& message);

// Deletes the file an alert named: only an absolute path that names no
// folder. True when it is gone.
bool DeleteAlertedFile(const std::string& path);

}  // namespace panel
