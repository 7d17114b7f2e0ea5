#include "platform/pipe/pipe.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "platform/win32_errors.h"
#include "test_support.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

class PipeTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("VELQOR_PIPE_DIR", dir_.path().c_str(), 1); }
    testsupport::TempDir dir_;
};

// A server answering on its own thread until the object ends.
class ServerThread {
public:
    ServerThread(std::string_view name, size_t maxRequest, PipeServer::Handler handler) {
        int error = -1;
        server_ = PipeServer::Create(name, maxRequest, &error);
        EXPECT_NE(server_, nullptr) << "error " << error;
        if (server_) thread_ = std::thread([this, handler] { while (server_->ServeOne(handler)) {} });
    }
    ~ServerThread() {
        if (!server_) return;
        server_->Stop();
        thread_.join();
    }

private:
    std::unique_ptr<PipeServer> server_;
    std::thread thread_;
};

PipeServer::Handler Echo() {
    return [](const std::string& request, int) { return std::optional<std::string>(request); };
}

struct Call {
    int error;
    std::string reply;
};
Call CallPipe(std::string_view name, std::string_view request, size_t capacity = 521,
              uint32_t timeoutMs = kPipeWaitForever) {
    Call call;
    call.error = CallNamedPipe(name, request, capacity, call.reply, timeoutMs);
    return call;
}

// A client connected to the pipe at path that sends nothing: its socket, or
// -1 when no connect got through in time.
int ConnectSilently(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    if (testsupport::WaitUntil([&] { return ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0; }))
        return fd;
    ::close(fd);
    return -1;
}

// A socket file that nobody listens on, as a server that died leaves it.
void LeaveStaleSocket(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

TEST_F(PipeTest, NamesMapToSocketFilesInThePipeFolder) {
    EXPECT_EQ(PipeBaseName("\\\\.\\pipe\\Tavrisk VELQORS"), "Tavrisk VELQORS");
    EXPECT_EQ(PipeBaseName("orqavs"), "orqavs");
    EXPECT_EQ(PipeSocketPath("\\\\.\\pipe\\orqavs"), dir_ / "orqavs");

    ServerThread server("\\\\.\\pipe\\Tavrisk VELQORS", 512, Echo());
    EXPECT_TRUE(testsupport::FileExists(dir_ / "Tavrisk VELQORS"));
    EXPECT_EQ(CallPipe("Tavrisk VELQORS", "wake").reply, "wake");
    EXPECT_EQ(CallPipe("\\\\.\\pipe\\Tavrisk VELQORS", "wake").reply, "wake");
}

TEST_F(PipeTest, RepliesAsTheHandlerSays) {
    struct Case {
        const char* request;
        std::optional<std::string> reply;
        size_t capacity;
        int error;
        std::string received;
    };
    const Case cases[] = {
        {"found", "EICAR-Test-File", 521, kErrorSuccess, "EICAR-Test-File"},
        {"clean", "", 521, kErrorSuccess, ""},
        {"no reply", std::nullopt, 521, kErrorBrokenPipe, ""},
        {"fits exactly", std::string(521, 'F'), 521, kErrorSuccess, std::string(521, 'F')},
        {"too long", std::string(600, 'L'), 521, kErrorMoreData, std::string(521, 'L')},
        {"two bytes", std::string("O\0", 2), 2, kErrorSuccess, std::string("O\0", 2)},
    };
    ServerThread server("orqtest", 512, [&](const std::string& request, int) -> std::optional<std::string> {
        for (const Case& c : cases)
            if (request == c.request) return c.reply;
        return "unknown request";
    });
    for (const Case& c : cases) {
        Call call = CallPipe("orqtest", c.request, c.capacity);
        EXPECT_EQ(call.error, c.error) << c.request;
        EXPECT_EQ(call.reply, c.received) << c.request;
    }
}

TEST_F(PipeTest, ServerReadsTheRequestUpToItsBuffer) {
    std::string seen;
    int seenError = -1;
    ServerThread server("orqtest", 512, [&](const std::string& request, int readError) {
        seen = request;
        seenError = readError;
        return std::optional<std::string>("");
    });
    struct Case {
        std::string request;
        int readError;
        std::string seen;
    };
    std::string path = "/tmp/cache/req-1-0007.dat";
    std::string engineForm = path + "\t1";
    engineForm.resize(521, '\0');
    std::string plainForm = path;
    plainForm.resize(512, '\0');
    const Case cases[] = {
        {plainForm, kErrorSuccess, plainForm},
        {engineForm, kErrorMoreData, engineForm.substr(0, 512)},
        {"", kErrorSuccess, ""},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(CallPipe("orqtest", c.request).error, kErrorSuccess);
        EXPECT_EQ(seenError, c.readError) << c.request.size();
        EXPECT_EQ(seen, c.seen) << c.request.size();
    }
}

TEST_F(PipeTest, MissingServerIsFileNotFound) {
    EXPECT_EQ(CallPipe("orqavs", "x").error, kErrorFileNotFound);  // folder exists, no socket
    LeaveStaleSocket(dir_ / "orqavs");
    EXPECT_EQ(CallPipe("orqavs", "x").error, kErrorFileNotFound);  // socket file of a dead server
    ::setenv("VELQOR_PIPE_DIR", (dir_ / "missing").c_str(), 1);
    EXPECT_EQ(CallPipe("orqavs", "x").error, kErrorFileNotFound);
}

TEST_F(PipeTest, BusyWhileTheOneInstanceServesAnotherClient) {
    std::atomic<int> handling{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ServerThread server("orqtest", 512, [&](const std::string& request, int) {
        ++handling;
        if (request == "slow") released.wait();
        return std::optional<std::string>("done " + request);
    });
    auto first = std::async(std::launch::async, [] { return CallPipe("orqtest", "slow"); });
    ASSERT_TRUE(testsupport::WaitUntil([&] { return handling == 1; }));

    EXPECT_EQ(CallPipe("orqtest", "second", 521, kPipeNoWait).error, kErrorPipeBusy);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CallPipe("orqtest", "second", 521, 50).error, kErrorPipeBusy);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    // A client that waits without limit gets in once the server is free.
    auto patient = std::async(std::launch::async, [] { return CallPipe("orqtest", "patient"); });
    EXPECT_EQ(patient.wait_for(100ms), std::future_status::timeout);

    release.set_value();
    Call call = first.get();
    EXPECT_EQ(call.error, kErrorSuccess);
    EXPECT_EQ(call.reply, "done slow");
    call = patient.get();
    EXPECT_EQ(call.error, kErrorSuccess);
    EXPECT_EQ(call.reply, "done patient");
    EXPECT_EQ(handling, 2);  // the refused calls never reached the handler
}

TEST_F(PipeTest, ServerThatIsNotWaitingCountsAsBusy) {
    int error = -1;
    auto server = PipeServer::Create("orqtest", 512, &error);
    ASSERT_NE(server, nullptr) << error;
    EXPECT_EQ(CallPipe("orqtest", "x", 521, kPipeNoWait).error, kErrorPipeBusy);
    auto waiting = std::async(std::launch::async, [] { return CallPipe("orqtest", "x", 521, 5000); });
    EXPECT_TRUE(server->ServeOne([](const std::string&, int) { return std::optional<std::string>("ok"); }));
    EXPECT_EQ(waiting.get().reply, "ok");
}

TEST_F(PipeTest, SecondServerForTheSameNameRefusesToStart) {
    ServerThread first("\\\\.\\pipe\\orqtest", 512, Echo());
    int error = -1;
    EXPECT_EQ(PipeServer::Create("orqtest", 512, &error), nullptr);
    EXPECT_EQ(error, kErrorPipeBusy);
    EXPECT_EQ(CallPipe("orqtest", "still here").reply, "still here");  // the refused one left the socket alone

    auto other = testsupport::RunCommand("VELQOR_PIPE_DIR='" + dir_.path() + "' flock -n '" +
                                         (dir_ / "orqtest.pipe.lock") + "' true");
    EXPECT_EQ(other.exitCode, 1) << "another process could take the pipe's lock";
}

TEST_F(PipeTest, NextServerRemovesAStaleSocketFile) {
    LeaveStaleSocket(dir_ / "orqtest");
    ServerThread server("orqtest", 512, Echo());
    EXPECT_EQ(CallPipe("orqtest", "fresh").reply, "fresh");
}

TEST_F(PipeTest, SocketFileGoesWithTheServer) {
    { ServerThread server("orqtest", 512, Echo()); }
    EXPECT_FALSE(testsupport::FileExists(dir_ / "orqtest"));
    ServerThread again("orqtest", 512, Echo());
    EXPECT_EQ(CallPipe("orqtest", "again").reply, "again");
}

TEST_F(PipeTest, WakeUpServerOnlyWaitsForAConnect) {
    int error = -1;
    auto server = PipeServer::Create("\\\\.\\pipe\\Tavrisk VELQORS", 0, &error);
    ASSERT_NE(server, nullptr) << error;
    EXPECT_EQ(server->WaitForClient(30), PipeServer::WaitResult::TimedOut);

    auto client = std::async(std::launch::async, [] { return CallPipe("Tavrisk VELQORS", std::string(521, '\0')); });
    EXPECT_EQ(server->WaitForClient(10000), PipeServer::WaitResult::Connected);
    server->Disconnect();
    EXPECT_EQ(client.get().error, kErrorBrokenPipe);

    auto stopper = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(50ms);
        server->Stop();
    });
    EXPECT_EQ(server->WaitForClient(), PipeServer::WaitResult::Stopped);
    EXPECT_EQ(server->WaitForClient(), PipeServer::WaitResult::Stopped);
}

// A client that connects and closes at once, as a wake-up does: 0, or errno.
int ConnectAndClose(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? 0 : errno;
    ::close(fd);
    return rc;
}

TEST_F(PipeTest, AListeningServerHoldsAConnectMadeBeforeItsWait) {
    int error = -1;
    auto server = PipeServer::Create("\\\\.\\pipe\\Tavrisk VELQORS", 0, &error);
    ASSERT_NE(server, nullptr) << error;
    const std::string path = dir_ / "Tavrisk VELQORS";
    EXPECT_EQ(ConnectAndClose(path), EAGAIN);  // not waiting: busy

    // Listening while it is busy with other work (the updater), the server
    // holds one connect for its next wait; a second one is refused.
    server->Listen();
    EXPECT_EQ(ConnectAndClose(path), 0);
    EXPECT_EQ(ConnectAndClose(path), EAGAIN);
    EXPECT_EQ(server->WaitForClient(10000), PipeServer::WaitResult::Connected);
    server->Disconnect();
    EXPECT_EQ(ConnectAndClose(path), EAGAIN);
    EXPECT_EQ(server->WaitForClient(30), PipeServer::WaitResult::TimedOut);

    server->Listen();
    server->Stop();
    EXPECT_EQ(server->WaitForClient(), PipeServer::WaitResult::Stopped);
}

TEST_F(PipeTest, ASocketForEverybodyIgnoresTheUmaskOthersKeepIt) {
    mode_t saved = ::umask(0007);
    for (bool everybody : {false, true}) {
        int error = -1;
        auto server = PipeServer::Create("orqtest", 16, &error, everybody);
        ASSERT_NE(server, nullptr) << error;
        struct stat st {};
        ASSERT_EQ(::stat((dir_ / "orqtest").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, everybody ? 0777u : 0770u);
    }
    ::umask(saved);
}

TEST_F(PipeTest, AServerThatNeverAnswersEndsTheCallAfterTheReplyWait) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ServerThread server("orqtest", 512, [&](const std::string&, int) {
        released.wait();
        return std::optional<std::string>("late");
    });
    std::string reply = "old";
    EXPECT_EQ(CallNamedPipe("orqtest", "x", 521, reply, 1000, 100), kErrorSemTimeout);
    EXPECT_EQ(reply, "");
    release.set_value();
    EXPECT_EQ(CallNamedPipe("orqtest", "x", 521, reply, 5000, 5000), kErrorSuccess);
    EXPECT_EQ(reply, "late");
}

TEST_F(PipeTest, StopWakesAServerWaitingForTheRequest) {
    int error = -1;
    auto server = PipeServer::Create("orqtest", 512, &error);
    ASSERT_NE(server, nullptr) << error;
    auto serving = std::async(std::launch::async, [&] {
        return server->ServeOne([](const std::string&, int) { return std::optional<std::string>("x"); });
    });
    // A client that connects and then says nothing.
    const int fd = ConnectSilently(dir_ / "orqtest");
    ASSERT_GE(fd, 0);
    EXPECT_EQ(serving.wait_for(100ms), std::future_status::timeout);
    server->Stop();
    EXPECT_FALSE(serving.get());
    ::close(fd);
}

TEST_F(PipeTest, ServeOneHandlesASilentClientAsAFailedReadAndServesTheNext) {
    int error = -1;
    auto server = PipeServer::Create("orqtest", 512, &error);
    ASSERT_NE(server, nullptr) << error;
    std::vector<int> readErrors;
    auto serving = std::async(std::launch::async, [&] {
        const auto handler = [&](const std::string&, int readError) {
            readErrors.push_back(readError);
            return std::optional<std::string>("ok");
        };
        // Without a bound the silent client would hold the server for good.
        for (int pass = 0; pass < 2; ++pass)
            if (!server->ServeOne(handler, 200)) break;
    });
    const int fd = ConnectSilently(dir_ / "orqtest");
    if (fd < 0) server->Stop();
    ASSERT_GE(fd, 0);
    Call next = CallPipe("orqtest", "hello", 521, 5000);
    EXPECT_EQ(next.error, 0);
    EXPECT_EQ(next.reply, "ok");
    if (next.error != 0) server->Stop();
    serving.get();
    EXPECT_EQ(readErrors, (std::vector<int>{kErrorSemTimeout, 0}));
    ::close(fd);
}

TEST_F(PipeTest, ASilentClientEndsTheReadAfterItsBoundAndTheNextIsServed) {
    int error = -1;
    auto server = PipeServer::Create("orqtest", 512, &error);
    ASSERT_NE(server, nullptr) << error;
    auto serving = std::async(std::launch::async, [&] {
        std::vector<int> results;
        for (int pass = 0; pass < 2; ++pass) {
            if (server->WaitForClient() != PipeServer::WaitResult::Connected) break;
            std::string request;
            int rc = server->ReadRequest(request, 200);
            results.push_back(rc);
            if (rc == 0) server->WriteReply("ok");
        }
        return results;
    });
    // A client that connects and then says nothing.
    const int fd = ConnectSilently(dir_ / "orqtest");
    ASSERT_GE(fd, 0);
    // The silent one holds the pipe only until the bound; the caller then gets through.
    Call next = CallPipe("orqtest", "hello");
    EXPECT_EQ(next.error, 0);
    EXPECT_EQ(next.reply, "ok");
    EXPECT_EQ(serving.get(), (std::vector<int>{kErrorSemTimeout, 0}));
    ::close(fd);
}

TEST_F(PipeTest, WaitingWithoutDescriptorsLeftPausesInsteadOfSpinning) {
    int error = -1;
    auto server = PipeServer::Create("orqtest", 512, &error);
    ASSERT_NE(server, nullptr) << error;
    int client = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);

    std::atomic<bool> connected{false};
    std::atomic<int> waits{0};
    std::thread waiter([&] {
        while (!connected) {
            ++waits;
            if (server->WaitForClient() == PipeServer::WaitResult::Connected) connected = true;
        }
    });
    std::this_thread::sleep_for(100ms);  // the server is in its wait now
    std::vector<int> filler;
    for (int fd; (fd = ::dup(0)) >= 0;) filler.push_back(fd);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, (dir_ / "orqtest").c_str());
    ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::this_thread::sleep_for(500ms);
    int waitsWithoutDescriptors = waits;
    for (int fd : filler) ::close(fd);

    EXPECT_TRUE(testsupport::WaitUntil([&] { return connected.load(); }));
    server->Stop();
    waiter.join();
    ::close(client);
    // A pause of about 100 ms between tries; a spinning wait makes thousands.
    EXPECT_LT(waitsWithoutDescriptors, 50);
}

}  // namespace
}  // namespace platform
