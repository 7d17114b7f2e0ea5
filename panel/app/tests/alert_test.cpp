#include "panel/app/alert_pipe.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>

#include "common/pipe_messages.h"
#include "common/pipe_names.h"
#include "panel/app/alert_dlg.h"
#include "panel/app/tolvane_dlg.h"
#include "panel/app/tray_icon_record.h"
#include "panel/framework/look.h"
#include "panel_test_support.h"
#include "platform/codepage/codepage.h"
#include "platform/pipe/pipe.h"

namespace {

using namespace panel;
using namespace std::chrono_literals;

struct Reply {
    int error = -1;
    std::string bytes;
};

// A watcher's call: the message in a zeroed 512-byte buffer (a message of
// 512 bytes as it is), waiting as long as the pipe is busy.
std::future<Reply> Send(const std::string& message, std::function<void()> before = {}) {
    return std::async(std::launch::async, [message, before] {
        if (before) before();
        std::string request = message;
        if (request.size() < common::kPlainMessageSize) request.resize(common::kPlainMessageSize, '\0');
        Reply reply;
        reply.error = platform::CallNamedPipe(common::kAlertPipeName, request, 512, reply.bytes, platform::kPipeWaitForever);
        return reply;
    });
}

// Answers each alert pop-up once it has slid in: `decide` gets it and the
// number of pop-ups before it and returns 1 (Yes), 2 (No) or 0 (not yet).
class AlertAnswerer {
public:
    struct Seen {
        std::string message;
        std::string shown;
        QRect geometry;
        QPoint slideEnd;
        bool wholeInView = false;  // the text shows without scrolling
    };
    explicit AlertAnswerer(std::function<int(Alert*, size_t)> decide) : decide_(std::move(decide)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start();
    }
    std::vector<Seen> seen;

private:
    void Tick() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* alert = qobject_cast<Alert*>(widget);
            if (!alert || !alert->isVisible() || alert->Sliding() || alert->property("answered").toBool()) continue;
            if (!alert->property("seen").toBool()) {
                alert->setProperty("seen", true);
                auto* edit = Control<QPlainTextEdit>(alert, kAlertText);
                seen.push_back({alert->message.toStdString(), edit ? edit->toPlainText().toStdString() : "<no edit>",
                                alert->geometry(), alert->SlideEnd(),
                                edit && edit->verticalScrollBar()->maximum() == 0 &&
                                    edit->horizontalScrollBar()->maximum() == 0});
            }
            size_t index = 0;
            while (index < seen.size() && seen[index].message != alert->message.toStdString()) ++index;
            int answer = decide_(alert, index);
            if (answer == 0) continue;
            alert->setProperty("answered", true);
            Control<QPushButton>(alert, answer)->click();
        }
    }
    std::function<int(Alert*, size_t)> decide_;
    QTimer timer_;
};

class AlertTest : public paneltest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        State().desktop = {0, 0, 1280, 1024};
        TrayOptions options;
        options.alertReadLimitMs = 300;
        tray_ = std::make_unique<TolvaneDlg>(options);
        tray_->OnInitDialog();
        files_ = dir_ / "files";
        testsupport::MakeDirs(files_ + "/a b");
    }
    void TearDown() override { tray_.reset(); }

    // Pumps the event loop until the reply has come, at most ten seconds.
    Reply Wait(std::future<Reply>& reply) {
        bool ready = testsupport::WaitUntil([&] {
            QCoreApplication::processEvents();
            return reply.wait_for(0s) == std::future_status::ready;
        });
        if (!ready) return {};
        return reply.get();
    }
    std::string File(const std::string& name) {
        std::string path = files_ + "/" + name;
        testsupport::WriteFile(path, "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR");
        return path;
    }
    TrayIconRecord* Record() const { return tray_->Record(); }
    std::string Tip() const { return Record()->tip().toStdString(); }
    std::string Title() const { return Record()->balloonTitle().toStdString(); }
    std::string Balloon() const { return Record()->balloonText().toStdString(); }

    std::unique_ptr<TolvaneDlg> tray_;
    std::string files_;
    const std::string kReplyBytes{"O\0", 2};
};

// "[hh:mm:ss]" then `rest`.
MATCHER_P(Stamped, rest, "") {
    const std::string& text = arg;
    return text.size() == 10 + std::string(rest).size() && text[0] == '[' && text[3] == ':' && text[6] == ':' &&
           text[9] == ']' && text.substr(10) == rest;
}

TEST_F(AlertTest, YesDeletesTheFileAPathWithBlanksWhole) {
    // Longer than a line of the pop-up: it is shown whole all the same.
    std::string path = File("a b/eicar-" + std::string(60, 'x') + ".com");
    std::string message = "[EICAR-Test-File] " + path;
    AlertAnswerer answerer([](Alert*, size_t) { return 1; });
    auto reply = Send(message);
    Reply got = Wait(reply);
    EXPECT_EQ(got.error, 0);
    EXPECT_EQ(got.bytes, kReplyBytes);
    EXPECT_FALSE(testsupport::FileExists(path));

    ASSERT_EQ(answerer.seen.size(), 1u);
    const auto& popup = answerer.seen[0];
    EXPECT_THAT(popup.message, Stamped("\r\n" + message + "\r\n"));
    EXPECT_THAT(popup.shown, Stamped("\n" + message));
    EXPECT_TRUE(popup.wholeInView);
    // Slid in at the bottom right: its right edge on the screen's, its top
    // less than ten pixels above its resting place.
    EXPECT_EQ(popup.geometry.topLeft(), popup.slideEnd);
    EXPECT_EQ(popup.geometry.right() + 1, 1280);
    EXPECT_GE(popup.geometry.bottom() + 1, 1024 - 9);
    EXPECT_LE(popup.geometry.bottom() + 1, 1024);

    EXPECT_THAT(Tip(), Stamped(" 削除しました。(" + path + ")"));
    EXPECT_EQ(Title(), "削除しました。");
    EXPECT_THAT(Balloon(), Stamped("\r\n" + message + "\r\n"));
}

TEST_F(AlertTest, WhatTheMessageNamesAndTheAnswerDecide) {
    testsupport::MakeDirs(files_ + "/folder");
    testsupport::MakeDirs(programFolder());
    testsupport::WriteFile(programFolder() + "/velqorctl", "the panel itself");
    ASSERT_EQ(::chdir(programFolder().c_str()), 0);
    // A path of its own that fills the 512 bytes, without a NUL.
    std::string longPath = files_ + "/";
    while (longPath.size() < 512 - 4 - 200) longPath += std::string(100, 'd') + "/";
    testsupport::MakeDirs(longPath);
    longPath += std::string(512 - 4 - longPath.size(), 'f');
    testsupport::WriteFile(longPath, "x");

    struct Case {
        const char* what;
        std::string message;
        int answer;
        std::string file;  // empty: none to look at
        bool gone;
        const char* outcome;  // null: no pop-up
    } cases[] = {
        {"No keeps it", "[EICAR-Test-File] " + File("keep.com"), 2, files_ + "/keep.com", false, nullptr},
        {"only the first \"] \" counts", "[Eicar] " + File("p] q.com"), 1, files_ + "/p] q.com", true, "削除しました。"},
        {"512 bytes without a NUL", "[F] " + longPath, 1, longPath, true, "削除しました。"},
        {"a relative path is not the panel's", "[Eicar] velqorctl", 1, programFolder() + "/velqorctl", false,
         "削除できません。"},
        {"a folder stays", "[Eicar] " + files_ + "/folder", 1, files_ + "/folder", false, "削除できません。"},
        {"a path that is gone", "[Eicar] " + files_ + "/never", 1, "", false, "削除できません。"},
        {"no path", "finding without a path", 1, "", false, nullptr},
        {"nothing sent", "", 1, "", false, nullptr},
    };
    ASSERT_EQ(cases[2].message.size(), 512u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AlertAnswerer answerer([&](Alert*, size_t) { return c.answer; });
        int before = Record()->balloonCount();
        auto reply = Send(c.message);
        Reply got = Wait(reply);
        EXPECT_EQ(got.error, 0);
        EXPECT_EQ(got.bytes, kReplyBytes);
        if (!c.file.empty()) {
            EXPECT_EQ(testsupport::FileExists(c.file), !c.gone);
        }
        bool popup = c.outcome || c.answer == 2;
        EXPECT_EQ(answerer.seen.size(), popup ? 1u : 0u);
        if (!c.outcome) {
            // The finding alone: beep, tip and balloon.
            EXPECT_EQ(Record()->balloonCount(), before + 1);
            EXPECT_EQ(Title(), "ウィルスが発見されました。");
            EXPECT_THAT(Tip(), Stamped(" " + c.message.substr(0, 116)));
            continue;
        }
        std::string path = c.message.substr(c.message.find("] ") + 2);
        EXPECT_EQ(Record()->balloonCount(), before + 2);
        EXPECT_EQ(Title(), c.outcome);
        EXPECT_EQ(Record()->tip().mid(10),
                  QString::fromStdString(" " + std::string(c.outcome) + "(" + path + ")").left(117));
    }
    (void)!::chdir("/");
}

TEST_F(AlertTest, ASecondSenderWaitsUntilTheFirstIsAnswered) {
    std::string first = "[One] " + File("one.com"), second = "[Two] " + File("two.com");
    std::atomic<bool> secondCalling{false};
    std::future<Reply> secondReply;
    bool secondAnsweredEarly = true;
    int ticks = 0;
    // The first pop-up's own loop runs this: it starts the second sender and
    // keeps the first open until that one has been calling for a while.
    AlertAnswerer answerer([&](Alert*, size_t index) {
        if (index == 1) return 2;
        if (!secondReply.valid()) secondReply = Send(second, [&] { secondCalling = true; });
        if (!secondCalling || ++ticks < 40) return 0;
        secondAnsweredEarly = secondReply.wait_for(0s) == std::future_status::ready;
        return 2;
    });
    auto firstReply = Send(first);
    Reply one = Wait(firstReply);
    ASSERT_TRUE(secondReply.valid());
    Reply two = Wait(secondReply);
    EXPECT_FALSE(secondAnsweredEarly);
    EXPECT_EQ(one.bytes, kReplyBytes);
    EXPECT_EQ(two.bytes, kReplyBytes);
    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_NE(answerer.seen[0].message.find(first), std::string::npos);
    EXPECT_NE(answerer.seen[1].message.find(second), std::string::npos);
}

TEST_F(AlertTest, AClientThatSendsNothingFreesThePipeAfterTheBound) {
    int silent = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string socketPath = platform::PipeSocketPath(common::kAlertPipeName);
    std::memcpy(addr.sun_path, socketPath.data(), socketPath.size());
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] { return ::connect(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0; }));
    AlertAnswerer answerer([](Alert*, size_t) { return 2; });
    int before = Record()->balloonCount();
    auto reply = Send("[Later]finding");
    Reply got = Wait(reply);
    EXPECT_EQ(got.bytes, kReplyBytes);
    // The silent one was no alert.
    EXPECT_EQ(Record()->balloonCount(), before + 1);
    EXPECT_EQ(Title(), "ウィルスが発見されました。");
    EXPECT_TRUE(answerer.seen.empty());
    ::close(silent);
}

TEST_F(AlertTest, APipeThatCannotBeMadeIsToldAndTheTrayRunsOn) {
    // This tray already serves the pipe: a second one cannot.
    testing::internal::CaptureStderr();
    AlertPipeServer second(tray_.get(), [](const std::string&) {});
    EXPECT_FALSE(second.Start());
    std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("the alert pipe " + platform::PipeSocketPath(common::kAlertPipeName) + " cannot be made (error 231)"),
              std::string::npos)
        << told;
}

}  // namespace
