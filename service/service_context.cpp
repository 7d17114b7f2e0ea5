#include "service/service_context.h"

#include "common/data_folder.h"
#include "platform/pipe/pipe.h"
#include "platform/process/process.h"

namespace service {

ServiceSettings& Settings() {
    static ServiceSettings settings;
    return settings;
}

std::string DataRoot() { return common::LookUpDataRoot(Settings().dataRootVariable).path; }

void StopRequest::Raise() {
    std::lock_guard<std::mutex> guard(lock_);
    raised_ = true;
    changed_.notify_all();
}

bool StopRequest::raised() const {
    std::lock_guard<std::mutex> guard(lock_);
    return raised_;
}

bool StopRequest::Pause(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> guard(lock_);
    return !changed_.wait_for(guard, duration, [this] { return raised_; });
}

pid_t StopRequest::StartChild(const std::string& path, const std::vector<std::string>& argv) {
    std::lock_guard<std::mutex> guard(lock_);
    if (raised_) return -1;
    return platform::StartChild(path, argv);
}

void StopRequest::PublishWakeupPipe(platform::PipeServer* pipe) {
    std::lock_guard<std::mutex> guard(lock_);
    pipe_ = pipe;
    if (pipe_ && finished_) pipe_->Stop();
}

void StopRequest::Finish() {
    std::lock_guard<std::mutex> guard(lock_);
    raised_ = true;
    finished_ = true;
    if (pipe_) pipe_->Stop();
    changed_.notify_all();
}

void StopRequest::Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    raised_ = false;
    finished_ = false;
    pipe_ = nullptr;
}

StopRequest& Stop() {
    static StopRequest stop;
    return stop;
}

}  // namespace service
