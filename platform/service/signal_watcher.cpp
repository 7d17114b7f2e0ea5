#include "platform/service/signal_watcher.h"

#include <pthread.h>
#include <time.h>

namespace platform {

SignalWatcher::SignalWatcher(std::initializer_list<int> signals, std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
    sigemptyset(&set_);
    for (int s : signals) sigaddset(&set_, s);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    thread_ = std::thread([this] { Run(); });
}

SignalWatcher::~SignalWatcher() {
    stop_ = true;
    thread_.join();
    pthread_sigmask(SIG_UNBLOCK, &set_, nullptr);
}

void SignalWatcher::Run() {
    // Short waits, so that the destructor's stop request is seen promptly.
    const timespec poll{0, 100 * 1000 * 1000};
    while (!stop_) {
        siginfo_t info;
        int sig = sigtimedwait(&set_, &info, &poll);
        if (sig > 0) onSignal_(sig);
    }
}

}  // namespace platform
