#include "panel/app/alert_pipe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <chrono>
#include <cstdio>
#include <future>
#include <optional>

#include "common/pipe_messages.h"
#include "common/pipe_names.h"
#include "panel/app/alert_dlg.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/cp932_text.h"
#include "platform/pipe/pipe.h"
#include "platform/win32_errors.h"

namespace panel {
namespace {

// The answer every sender gets: "O" and a NUL.
const std::string kReply("O\0", 2);

void Notify(const QString& tip, const QString& title, const QString& balloon) {
    TrayIconRecord* record = TrayRecord();
    if (!record) return;
    record->SetTip(tip);
    record->ShowBalloon(title, balloon);
}

}  // namespace

AlertPipeServer::AlertPipeServer(QObject* context, Handler handler, uint32_t readLimitMs)
    : context_(context), handler_(std::move(handler)), readLimitMs_(readLimitMs) {}

AlertPipeServer::~AlertPipeServer() {
    if (pipe_) pipe_->Stop();
    if (thread_.joinable()) thread_.join();
}

bool AlertPipeServer::Start() {
    int error = 0;
    pipe_ = platform::PipeServer::Create(common::kAlertPipeName, common::kPlainMessageSize, &error);
    if (!pipe_) {
        std::fprintf(stderr, "velqorctl: the alert pipe %s cannot be made (error %d); alerts are not shown\n",
                     platform::PipeSocketPath(common::kAlertPipeName).c_str(), error);
        return false;
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void AlertPipeServer::Serve() {
    using namespace std::chrono_literals;
    while (pipe_->WaitForClient() == platform::PipeServer::WaitResult::Connected) {
        std::string request;
        int rc = pipe_->ReadRequest(request, readLimitMs_);
        if (rc == platform::kErrorOperationAborted) break;
        // A client that says nothing within the bound is no alert; it would
        // hold the one instance against every finding after it.
        if (rc == platform::kErrorSemTimeout) continue;
        request = request.substr(0, request.find('\0'));

        auto done = std::make_shared<std::promise<void>>();
        std::future<void> answered = done->get_future();
        if (!context_ ||
            !QMetaObject::invokeMethod(
                context_.data(),
                [handler = handler_, request, done] {
                    handler(request);
                    done->set_value();
                },
                Qt::QueuedConnection))
            break;
        while (answered.wait_for(50ms) != std::future_status::ready)
            if (pipe_->stopped()) return;
        pipe_->WriteReply(kReply);
        pipe_->Disconnect();
        std::this_thread::yield();
    }
}

void ShowAlert(const std::string& message) {
    const QString text = FromCp932(message);
    QApplication::beep();
    const QString stamp = TimeStamp();
    Notify(stamp + QStringLiteral(" ") + text, QString::fromUtf8("ウィルスが発見されました。"),
           stamp + QStringLiteral("\r\n") + text + QStringLiteral("\r\n"));

    const std::optional<common::Alert> parts = common::SplitAlert(message);
    if (!parts) return;
    const QString path = FromCp932(parts->path);
    Alert alert;
    alert.message = stamp + QStringLiteral("\r\n") + text + QStringLiteral("\r\n");
    if (alert.DoModal() != QDialog::Accepted) return;

    const bool deleted = DeleteAlertedFile(path.toStdString());
    const QString outcome = QString::fromUtf8(deleted ? "削除しました。" : "削除できません。");
    const QString now = TimeStamp();
    Notify(now + QStringLiteral(" ") + outcome + QStringLiteral("(") + path + QStringLiteral(")"), outcome,
           now + QStringLiteral("\r\n") + text + QStringLiteral("\r\n"));
}

bool DeleteAlertedFile(const std::string& path) {
    // A relative path would be taken from the panel's current folder, its
    // program folder, and delete one of its own files.
    if (path.empty() || path[0] != '/') return false;
    struct stat entry;
    if (::lstat(path.c_str(), &entry) != 0 || S_ISDIR(entry.st_mode)) return false;
    return ::unlink(path.c_str()) == 0;
}

}  // namespace panel
