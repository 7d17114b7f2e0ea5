// A thread that takes a set of signals off the process and hands each to a
// callback, so that signal work runs as ordinary code, not in a handler.
#pragma once

#include <atomic>
#include <functional>
#include <initializer_list>
#include <signal.h>
#include <thread>

namespace platform {

class SignalWatcher {
public:
    // Blocks the signals in the calling thread (threads started later
    // inherit that) and starts watching them.
    SignalWatcher(std::initializer_list<int> signals, std::function<void(int)> onSignal);
    // Stops watching and unblocks the signals in the destroying thread.
    ~SignalWatcher();
    SignalWatcher(const SignalWatcher&) = delete;
    SignalWatcher& operator=(const SignalWatcher&) = delete;

private:
    void Run();

    sigset_t set_;
    std::function<void(int)> onSignal_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace platform
