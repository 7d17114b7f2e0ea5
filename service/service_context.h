// What the parts of the service share while it runs: the settings read at
// start and the stop request, which the control thread raises while the
// service thread may be starting children or sleeping.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "common/start_values.h"

namespace platform {
class PipeServer;
}

namespace service {

struct ServiceSettings {
    bool debug = false;  // -debug: no status reports, "-v" for the engine
    std::string dataRootVariable = common::kDataRootVariable.byDefault;
};

ServiceSettings& Settings();

// The data root now: the value of the variable `workenv` names.
std::string DataRoot();

class StopRequest {
public:
    // Raised by the stop path before it ends the children: from then on no
    // child is started and every pause ends at once.
    void Raise();
    bool raised() const;
    // Sleeps for `duration` unless the stop is raised first: false then.
    bool Pause(std::chrono::milliseconds duration);
    // Starts a child unless the stop was raised; the check and the start are
    // one step, so the stop path's kill pass sees every child started before.
    pid_t StartChild(const std::string& path, const std::vector<std::string>& argv);

    // The wake-up pipe the run loop waits on, so the stop can end the wait;
    // a pipe published after the stop finished is stopped at once.
    void PublishWakeupPipe(platform::PipeServer* pipe);
    // Ends the run loop's wait: the last step of the stop path.
    void Finish();

    // Back to "not raised" for the next run.
    void Reset();

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool raised_ = false;
    bool finished_ = false;
    platform::PipeServer* pipe_ = nullptr;
};

StopRequest& Stop();

}  // namespace service
