// The SOCKS store-and-forward relay on socket pairs: nothing goes on
// before the source has ended, then everything, and then the end.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "engine/core/engine_settings.h"
#include "engine/socks/socks_relay.h"
#include "test_support.h"

namespace engine {
namespace {

bool Readable(int fd, int milliseconds) {
    pollfd wait{fd, POLLIN, 0};
    return ::poll(&wait, 1, milliseconds) > 0;
}

std::string ReadToEnd(int fd) {
    std::string all;
    char buffer[4096];
    while (Readable(fd, 5000)) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        all.append(buffer, static_cast<std::size_t>(n));
    }
    return all;
}

TEST(SocksRelay, ForwardsOnlyOnceTheSourceHasEnded) {
    testsupport::TempDir data;
    testsupport::MakeDirs(data / "cache");
    Settings().dataFolder = data.path() + "/";
    Settings().timeouts = {5000, 5000, 10, 50};
    int client[2], server[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, client), 0);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, server), 0);
    SocksRelay relay;
    relay.sockCl = client[0];
    relay.sockSv = server[0];
    std::uint64_t received = 0;
    std::thread upload([&] { received = ServerSocksSession(relay); });

    ASSERT_EQ(::write(client[1], "first part, ", 12), 12);
    EXPECT_FALSE(Readable(server[1], 300)) << "forwarded before the source ended";
    const std::string rest(100000, 'r');
    ASSERT_EQ(::write(client[1], rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
    ::shutdown(client[1], SHUT_WR);
    EXPECT_EQ(ReadToEnd(server[1]), "first part, " + rest);
    upload.join();
    EXPECT_EQ(received, 12 + rest.size());
    EXPECT_TRUE(std::filesystem::is_empty(data / "cache"));
    for (int fd : {client[0], client[1], server[0], server[1]}) ::close(fd);
}

}  // namespace
}  // namespace engine
