#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/core/daily_log.h"
#include "engine/core/engine_settings.h"
#include "engine/core/pipe_clients.h"
#include "engine/tests/avstub/avstub.h"
#include "platform/pipe/pipe.h"
#include "test_support.h"

namespace {

constexpr int kSocket = 7;

// A pipe server of the test's own, answering in a thread of its own.
class TestPipeServer {
public:
    using Handler = std::function<std::optional<std::string>(const std::string& request)>;
    TestPipeServer(const std::string& name, Handler handler) : handler_(std::move(handler)) {
        int error = 0;
        server_ = platform::PipeServer::Create(name, 8192, &error);
        EXPECT_TRUE(server_) << "pipe " << name << " error " << error;
        if (!server_) return;
        thread_ = std::thread([this] {
            while (server_->ServeOne([this](const std::string& request, int) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    requests_.push_back(request);
                }
                return handler_(request);
            })) {
            }
        });
    }
    // A hung server: takes each request and answers none until it ends.
    struct HungTag {};
    TestPipeServer(const std::string& name, HungTag)
        : TestPipeServer(name, [this](const std::string&) -> std::optional<std::string> {
              while (!ending_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
              return std::nullopt;
          }) {}
    ~TestPipeServer() {
        ending_ = true;
        if (!server_) return;
        server_->Stop();
        thread_.join();
    }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    Handler handler_;
    std::unique_ptr<platform::PipeServer> server_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::atomic<bool> ending_{false};
};

int Occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

// The text of a request buffer, up to its first NUL.
std::string TextOf(const std::string& request) { return request.substr(0, request.find('\0')); }

class PipeClientsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("VELQOR_PIPE_DIR", dir_.path().c_str(), 1);
        // Each test's scan server starts out answering.
        engine::ForgetSilentScanServer();
        testsupport::MakeDirs(dir_ / "VELQOR/cache");
        settings_.dataFolder = dir_ / "VELQOR/";
        engine::EngineLog().setFolder(dir_ / "log");
        engine::EngineLog().setToFile(true);
        engine::EngineLog().setToConsole(false);
    }

    std::string Log() const {
        std::string text;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir_ / "log", ec))
            text += testsupport::ReadFile(entry.path().string());
        return text;
    }

    std::string File(const std::string& name, const std::string& content) {
        std::string path = dir_ / name;
        testsupport::WriteFile(path, content);
        return path;
    }

    // Stub log lines: "<request bytes>\t<source>\t<path>".
    std::vector<std::string> StubRequests() const {
        std::vector<std::string> lines;
        std::istringstream in(testsupport::ReadFile(dir_ / "stub.log"));
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::unique_ptr<testsupport::Process> StartStub(avstub::Options options = {}) {
        options.pipeDir = dir_.path();
        options.logFile = dir_ / "stub.log";
        return avstub::Start(options);
    }

    testsupport::TempDir dir_;
    engine::EngineSettings settings_;
};

TEST_F(PipeClientsTest, ScanFileSendsPathAndSourceDigitAndReportsFindings) {
    auto stub = StartStub();
    const std::string clean = File("clean.dat", "hello");
    const std::string infected = File("eicar.dat", avstub::kEicarTestString);
    struct Case {
        int protocol;
        const std::string& path;
        const char* source;
        const char* finding;
    };
    const Case cases[] = {
        {engine::kProtocolHttp, clean, "1", ""},          {engine::kProtocolHttp, infected, "1", avstub::kFinding},
        {engine::kProtocolSmtp, infected, "3", avstub::kFinding}, {engine::kProtocolPop3, clean, "4", ""},
        {engine::kProtocolImap4, clean, "5", ""},         {engine::kProtocolFtp, clean, "2", ""},
        {engine::kProtocolSocks, infected, "TAB", avstub::kFinding},
    };
    for (const Case& c : cases) {
        std::string reply;
        EXPECT_EQ(engine::ScanFile(settings_, c.protocol, kSocket, c.path, reply), 1);
        EXPECT_EQ(reply, c.finding) << c.protocol;
        ASSERT_FALSE(StubRequests().empty());
        EXPECT_EQ(StubRequests().back(), "521\t" + std::string(c.source) + "\t" + c.path);
    }
    EXPECT_NE(Log().find("[ScanFile] [0007] " + clean + " --- CLEAN\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find("[ScanFile] [0007] " + infected + " --- EICAR-Test-File\n"), std::string::npos);
}

TEST_F(PipeClientsTest, ScanFileCountsAnUnscannableFileAsCleanAndLogsTheAnswer) {
    avstub::Options options;
    options.accessDenied = true;
    auto stub = StartStub(options);
    const std::string path = File("locked.dat", avstub::kEicarTestString);
    std::string reply;
    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply), 1);
    EXPECT_EQ(reply, "");
    EXPECT_NE(Log().find("[ScanFile] [0007] " + path + " --- AVS_ACCESSDENIED\n"), std::string::npos) << Log();
}

TEST_F(PipeClientsTest, ScanFileKeepsAFindingLongerThanItsReplyBuffer) {
    avstub::Options options;
    options.longFinding = true;
    auto stub = StartStub(options);
    const std::string path = File("eicar.dat", avstub::kEicarTestString);
    std::string reply;
    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply), 1);
    EXPECT_EQ(reply.size(), engine::kScanReplySize);
    EXPECT_EQ(reply.rfind("EICAR-Test-File", 0), 0u);
}

TEST_F(PipeClientsTest, ScanFileLeavesFilesOverTheSizeLimitUnsent) {
    auto stub = StartStub();
    const std::string path = File("eicar.dat", avstub::kEicarTestString);
    const uint64_t size = sizeof avstub::kEicarTestString - 1;
    struct Case {
        uint64_t limit;
        bool sent;
    };
    for (const Case& c : {Case{0, true}, Case{size, true}, Case{size - 1, false}}) {
        settings_.scanSizeLimit = c.limit;
        const size_t before = StubRequests().size();
        std::string reply = "stale";
        EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply), 1);
        EXPECT_EQ(StubRequests().size(), before + (c.sent ? 1 : 0)) << c.limit;
        EXPECT_EQ(reply, c.sent ? avstub::kFinding : "") << c.limit;
    }
    EXPECT_NE(Log().find("[FileSizeCheck] [0007] CallNamedPipe(" + path + ") size is too big. (" +
                         std::to_string(size) + ")\n"),
              std::string::npos)
        << Log();
}

TEST_F(PipeClientsTest, ScanFileCutsALongPathAt260Characters) {
    auto stub = StartStub();
    std::string folder = dir_.path();
    while (folder.size() < 300) folder += "/" + std::string(40, 'd');
    testsupport::MakeDirs(folder);
    const std::string path = folder + "/file.dat";
    testsupport::WriteFile(path, "x");
    std::string reply;
    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply), 1);
    ASSERT_EQ(StubRequests().size(), 1u);
    EXPECT_EQ(StubRequests()[0], "521\t1\t" + path.substr(0, 260));
}

TEST_F(PipeClientsTest, ScanFileWithoutAServerLeavesTheReplyEmpty) {
    const std::string path = File("eicar.dat", avstub::kEicarTestString);
    std::string reply;
    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply), 0);
    EXPECT_EQ(reply, "");
    EXPECT_NE(Log().find("[ScanFile] [0007] CallNamedPipe(" + path + "\t1) fail. code = 2\n"), std::string::npos)
        << Log();
}

// A spool file left unwritten while no server was there is written just
// before a server is asked about it; without a server it stays unwritten
// and the call fails as one without a server does; a file that can no
// longer be made is never named to a server.
TEST_F(PipeClientsTest, LateFilesAreWrittenOnlyForAServer) {
    const std::string path = dir_ / "late.dat";
    int made = 0;
    auto make = [&] {
        ++made;
        testsupport::WriteFile(path, avstub::kEicarTestString);
        return true;
    };
    std::string reply = "stale";
    EXPECT_FALSE(engine::PipeMayBeServed(common::kScanPipeName));
    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply, make), 0);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(reply, "");
    EXPECT_NE(Log().find("[ScanFile] [0007] CallNamedPipe(" + path + "\t1) fail. code = 2\n"), std::string::npos)
        << Log();
    EXPECT_EQ(engine::ScanHttpFile(settings_, kSocket, path + "?l.db*h/", reply, make), 0);
    EXPECT_EQ(made, 0);
    EXPECT_NE(Log().find("[ScanHttpFile] [0007] CallNamedPipe(" + path + "?l.db*h/) fail. code = 2\n"),
              std::string::npos)
        << Log();

    auto stub = StartStub();
    EXPECT_TRUE(engine::PipeMayBeServed(common::kScanPipeName));
    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply, make), 1);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(reply, avstub::kFinding);

    EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, dir_ / "gone.dat", reply,
                               [] { return false; }),
              0);
    EXPECT_EQ(StubRequests().size(), 1u);
    EXPECT_NE(Log().find("CallNamedPipe(" + dir_ / "gone.dat" + "\t1) fail. code = 2\n"), std::string::npos) << Log();
}

// Another program holds the scan server: the engine waits for it, up to
// the call's bound, and logs the busy pipe once per call, however many
// times it tries again meanwhile.
TEST_F(PipeClientsTest, ScanFileWaitsWhileThePipeIsBusyUpToTheBound) {
    avstub::Options options;
    options.delayMs = 800;
    auto stub = StartStub(options);
    const std::string path = File("eicar.dat", avstub::kEicarTestString);
    const std::string busyLine = "[ScanFile] [0007] CallNamedPipe(" + path + "\t1) fail. code = 231\n";
    struct Case {
        uint32_t boundMs;
        int result;
        const char* reply;
    };
    for (const Case& c : {Case{engine::kPipeCallTimeoutMs, 1, avstub::kFinding}, Case{200, 0, ""}}) {
        settings_.pipeCallTimeoutMs = c.boundMs;
        const size_t before = StubRequests().size();
        std::thread other([&] {
            std::string request(512, '\0');
            request.replace(0, path.size(), path);
            std::string reply;
            EXPECT_EQ(platform::CallNamedPipe(common::kScanPipeName, request, 512, reply, platform::kPipeWaitForever),
                      0);
        });
        ASSERT_TRUE(testsupport::WaitUntil([&] { return StubRequests().size() > before; }));
        const int busyLines = Occurrences(Log(), busyLine);
        std::string reply = "stale";
        EXPECT_EQ(engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, path, reply), c.result) << c.boundMs;
        EXPECT_EQ(reply, c.reply) << c.boundMs;
        other.join();
        EXPECT_EQ(StubRequests().size(), before + c.result + 1) << c.boundMs;
        EXPECT_EQ(Occurrences(Log(), busyLine), busyLines + 1) << c.boundMs << Log();
    }
}

// A server that takes the request and never answers fails the call once
// the bound has passed (ERROR_SEM_TIMEOUT), for every pipe client: the
// file passes, and the lock is free for the next request.
TEST_F(PipeClientsTest, AServerThatNeverAnswersFailsTheCallAfterTheBound) {
    settings_.pipeCallTimeoutMs = 300;
    avstub::Options hang;
    hang.hang = true;
    auto stub = StartStub(hang);
    const std::string file = File("mail.dat", "body");
    const std::string mailPath = File("VELQOR/cache/req-1-0009.dat", "original mail");
    const std::string workPath = dir_ / "VELQOR/cache/M2.dat";
    struct Case {
        const char* pipe;  // a hung server of the test's own; the stub serves the scan pipe
        std::string logLine;
        std::function<int(std::string& reply)> call;
    };
    const Case cases[] = {
        {nullptr, "[ScanFile] [0007] CallNamedPipe(" + file + "\t1) fail. code = 121\n",
         [&](std::string& reply) {
             return engine::ScanFile(settings_, engine::kProtocolHttp, kSocket, file, reply);
         }},
        {"orqspam", "[ScanSpamFile] [0007] CallNamedPipe(" + file + ") fail. code = 121\n",
         [&](std::string& reply) { return engine::ScanSpamFile(settings_, kSocket, file, reply); }},
        {"orqcwfs", "[ScanHttpFile] [0007] CallNamedPipe(" + file + "?l.db*h/) fail. code = 121\n",
         [&](std::string& reply) { return engine::ScanHttpFile(settings_, kSocket, file + "?l.db*h/", reply); }},
        {"orqsvt", "[CompressedbyPipe] [0007] CallNamedPipe(" + workPath + ") fail. code = 121\n",
         [&](std::string& reply) { return engine::CompressedbyPipe(settings_, kSocket, mailPath, "M2", reply); }},
    };
    for (const Case& c : cases) {
        std::unique_ptr<TestPipeServer> server;
        if (c.pipe) server = std::make_unique<TestPipeServer>(c.pipe, TestPipeServer::HungTag{});
        for (int call = 0; call < 2; ++call) {
            std::string reply = "stale";
            EXPECT_EQ(c.call(reply), 0) << c.logLine;
            EXPECT_EQ(reply, "") << c.logLine;
        }
        // The first call found the server taking it; the second, the server
        // still held by the first, busy until the bound.
        EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
    }
    EXPECT_EQ(testsupport::ReadFile(mailPath), "original mail");
    EXPECT_FALSE(testsupport::FileExists(workPath));
}

TEST_F(PipeClientsTest, ScanHttpFileSendsTheWholeRequestTextUpToTheServersReadSize) {
    TestPipeServer server("orqcwfs", [](const std::string&) { return std::string(); });
    const std::string head = dir_ / "VELQOR/cache/req-0-0001_a.tmp?http-block\\10.0.0.5.db*host.example/";
    struct Case {
        std::string text;
        std::string expected;
    };
    const std::string medium = head + std::string(600, 'm');
    const std::string huge = head + std::string(5000, 'h');
    for (const Case& c : {Case{medium, medium}, Case{huge, huge.substr(0, 4160)}}) {
        std::string reply;
        EXPECT_EQ(engine::ScanHttpFile(settings_, kSocket, c.text, reply), 1);
        ASSERT_FALSE(server.requests().empty());
        EXPECT_EQ(server.requests().back().size(), engine::kWordFilterRequestSize);
        EXPECT_EQ(TextOf(server.requests().back()), c.expected);
    }
}

TEST_F(PipeClientsTest, RepliesThatFillTheirBufferComeBackWhole) {
    struct Case {
        const char* pipe;
        size_t replySize;
        std::function<int(const std::string& request, std::string& reply)> call;
    };
    const std::string request = File("mail.dat", "body");
    const Case cases[] = {
        {"orqcwfs", common::kWordFilterReplySize,
         [&](const std::string& r, std::string& reply) { return engine::ScanHttpFile(settings_, kSocket, r, reply); }},
        {"orqspam", engine::kSpamReplySize,
         [&](const std::string& r, std::string& reply) { return engine::ScanSpamFile(settings_, kSocket, r, reply); }},
    };
    for (const Case& c : cases) {
        for (size_t length : {c.replySize, c.replySize + 50}) {
            TestPipeServer server(c.pipe, [&](const std::string&) { return std::string(length, 'k'); });
            std::string reply;
            EXPECT_EQ(c.call(request, reply), 1) << c.pipe;
            EXPECT_EQ(reply, std::string(c.replySize, 'k')) << c.pipe << " " << length;
        }
    }
}

TEST_F(PipeClientsTest, ScanHttpFileWithoutAReplyIsAFailedCall) {
    TestPipeServer server("orqcwfs", [](const std::string&) { return std::nullopt; });
    std::string reply;
    EXPECT_EQ(engine::ScanHttpFile(settings_, kSocket, "/x/r.tmp?l.db*h/", reply), 0);
    EXPECT_EQ(reply, "");
    EXPECT_NE(Log().find("[ScanHttpFile] [0007] CallNamedPipe(/x/r.tmp?l.db*h/) fail. code = 109\n"),
              std::string::npos)
        << Log();
}

TEST_F(PipeClientsTest, ScanSpamFileSendsAllFieldsAndPassesTheAnswerOn) {
    TestPipeServer server("orqspam", [](const std::string&) { return std::string("SPF detected."); });
    const std::string text = dir_ / "VELQOR/cache/req-1-0007.dat\t2001:db8::1234\t" + std::string(300, 's') +
                             "@sender.example";
    std::string reply;
    EXPECT_EQ(engine::ScanSpamFile(settings_, kSocket, text, reply), 1);
    EXPECT_EQ(reply, "SPF detected.");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].size(), engine::kSpamRequestSize);
    EXPECT_EQ(TextOf(server.requests()[0]), text);
    EXPECT_NE(Log().find("[ScanSpamFile] [0007] " + text + " --- SPF detected.\n"), std::string::npos);
}

class CompressedbyPipeTest : public PipeClientsTest {
protected:
    void SetUp() override {
        PipeClientsTest::SetUp();
        mailPath_ = File("VELQOR/cache/req-1-0007.dat", "original mail");
        envelopePath_ = File("VELQOR/cache/M1.$CP", "Message-ID: <M1>\r\n");
        workPath_ = dir_ / "VELQOR/cache/M1.dat";
    }
    std::string mailPath_, envelopePath_, workPath_;
};

TEST_F(CompressedbyPipeTest, ArchivedMailComesBackToItsPath) {
    TestPipeServer server("orqsvt", [&](const std::string& request) -> std::optional<std::string> {
        if (TextOf(request) != workPath_ || testsupport::ReadFile(workPath_) != "original mail") return "";
        testsupport::WriteFile(workPath_, "archived mail");
        std::filesystem::remove(envelopePath_);
        return "Compressed";
    });
    std::string reply;
    EXPECT_EQ(engine::CompressedbyPipe(settings_, kSocket, mailPath_, "M1", reply), 1);
    EXPECT_EQ(reply, "Compressed");
    EXPECT_EQ(testsupport::ReadFile(mailPath_), "archived mail");
    EXPECT_FALSE(testsupport::FileExists(workPath_));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].size(), engine::kArchiveRequestSize);
    EXPECT_NE(Log().find("[CompressedbyPipe] [0007] " + workPath_ + " --- Compressed.\n"), std::string::npos);
}

TEST_F(CompressedbyPipeTest, UnarchivedMailStaysAsItWasWithoutItsEnvelope) {
    struct Case {
        bool serverRuns;
        int result;
        const char* logLine;
    };
    for (const Case& c : {Case{true, 1, " --- Uncompressed.\n"}, Case{false, 0, ") fail. code = 2\n"}}) {
        testsupport::WriteFile(envelopePath_, "Message-ID: <M1>\r\n");
        std::unique_ptr<TestPipeServer> server;
        if (c.serverRuns) server = std::make_unique<TestPipeServer>("orqsvt", [](const std::string&) {
            return std::string();
        });
        std::string reply;
        EXPECT_EQ(engine::CompressedbyPipe(settings_, kSocket, mailPath_, "M1", reply), c.result);
        EXPECT_EQ(reply, "");
        EXPECT_EQ(testsupport::ReadFile(mailPath_), "original mail");
        EXPECT_FALSE(testsupport::FileExists(envelopePath_));
        EXPECT_FALSE(testsupport::FileExists(workPath_));
        EXPECT_NE(Log().find("[CompressedbyPipe] [0007] " + std::string(c.serverRuns ? "" : "CallNamedPipe(") +
                             workPath_ + c.logLine),
                  std::string::npos)
            << Log();
    }
}

}  // namespace
