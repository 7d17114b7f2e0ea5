#include "platform/io/full_write.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace {

void Ignore(int) {}

// A timer signal every millisecond, delivered without SA_RESTART, so that
// a write into a full pipe is cut short part-way or before it begins.
class SignalRain {
public:
    SignalRain() {
        struct sigaction action {};
        action.sa_handler = Ignore;
        ::sigaction(SIGALRM, &action, &old_);
        itimerval every{{0, 1000}, {0, 1000}};
        ::setitimer(ITIMER_REAL, &every, nullptr);
    }
    ~SignalRain() {
        itimerval off{};
        ::setitimer(ITIMER_REAL, &off, nullptr);
        ::sigaction(SIGALRM, &old_, nullptr);
    }

private:
    struct sigaction old_ {};
};

}  // namespace

TEST(FullWrite, EveryByteArrivesInOrderThroughSignalsAndShortWrites) {
    struct Case {
        const char* name;
        bool socket;
    };
    const Case cases[] = {{"WriteAll on a pipe", false}, {"SendAll on a stream socket", true}};
    std::string bytes(1 << 21, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + i / 4093);
    for (const Case& c : cases) {
        int ends[2];
        ASSERT_EQ(0, c.socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) : ::pipe2(ends, O_CLOEXEC));
        const int reader = c.socket ? ends[1] : ends[0];
        const int writer = c.socket ? ends[0] : ends[1];
        std::string received;
        // A slow reader keeps the pipe full, so the writer waits and is
        // interrupted again and again.
        std::thread read([&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(reader, buffer, sizeof buffer)) != 0;) {
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) break;
                received.append(buffer, static_cast<size_t>(n));
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        });
        bool ok;
        {
            SignalRain rain;
            ok = c.socket ? platform::SendAll(writer, bytes) : platform::WriteAll(writer, bytes);
        }
        ::close(writer);
        read.join();
        ::close(reader);
        EXPECT_TRUE(ok) << c.name;
        EXPECT_TRUE(received == bytes) << c.name << ": " << received.size() << " of " << bytes.size() << " bytes";
    }
}

TEST(FullWrite, ErrorsAreFailuresAndAGonePeerRaisesNoSignal) {
    int ends[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends));
    ::close(ends[1]);
    errno = 0;
    EXPECT_FALSE(platform::SendAll(ends[0], "to nobody"));  // SIGPIPE would end the test program here
    EXPECT_EQ(EPIPE, errno);
    ::close(ends[0]);

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    EXPECT_FALSE(platform::WriteAll(full, "no room"));
    EXPECT_EQ(ENOSPC, errno);
    ::close(full);

    EXPECT_TRUE(platform::WriteAll(-1, ""));  // nothing to write is never an error
}
