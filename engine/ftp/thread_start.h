// Starting a helper thread the way the engine starts every thread: a start
// the system refuses is tried again after 100, 200, 300 ms ... up to the -$
// count.
#pragma once

#include <chrono>
#include <functional>
#include <system_error>
#include <thread>

namespace engine {

// Starts `body` in `thread`. False, after startFailed(error number), when
// every try failed.
template <typename Body>
bool StartThreadWithRetries(std::thread& thread, unsigned long tries, Body&& body,
                            const std::function<void(int error)>& startFailed) {
    for (unsigned long attempt = 1;; ++attempt) {
        try {
            thread = std::thread(body);
            return true;
        } catch (const std::system_error& failure) {
            if (attempt >= tries) {
                if (startFailed) startFailed(failure.code().value());
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100) * attempt);
        }
    }
}

}  // namespace engine
