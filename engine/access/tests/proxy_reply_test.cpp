#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "common/http_date.h"
#include "engine/http/proxy_replies.h"
#include "test_support.h"

namespace {

TEST(ProxyAuthRequiredReply, Text) {
    const std::string date = "Sun, 06 Nov 1994 17:49:37 +0900";
    const std::string body =
        "<HTML><HEAD></HEAD><BODY>\r\n<B>Proxy Authorization</B> required.</BODY></HTML>\r\n";
    ASSERT_EQ(body.size(), 79u);
    EXPECT_EQ(engine::ProxyAuthRequiredReply(date),
              "HTTP/1.1 407 Proxy Authentication Required\r\n"
              "Date: Sun, 06 Nov 1994 17:49:37 +0900\r\n"
              "Server: ZA-DUREVA/v2.15\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: text/html\r\n"
              "Content-Length: 79\r\n"
              "Proxy-Connection: close\r\n"
              "Proxy-Authenticate: Basic Realm=\"proxy\"\r\n"
              "\r\n" + body);

    std::string now = engine::ProxyAuthRequiredReply();
    size_t from = now.find("Date: ") + 6;
    std::string dated = now.substr(from, now.find("\r\n", from) - from);
    EXPECT_TRUE(common::ParseHttpDate(dated)) << dated;
}

// A proxy that answers every request with the reply and closes.
TEST(ProxyAuthRequiredReply, CurlTakesItAsAProxyChallenge) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    ::listen(listener, 4);
    const int port = ntohs(addr.sin_port);

    std::thread proxy([listener] {
        // curl without credentials asks once; with them it may ask again.
        for (int served = 0; served < 2; ++served) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return;
            int client = ::accept(listener, nullptr, nullptr);
            if (client < 0) return;
            char buffer[4096];
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd c{client, POLLIN, 0};
                if (::poll(&c, 1, 5000) <= 0) break;
                ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<size_t>(n));
            }
            std::string reply = engine::ProxyAuthRequiredReply();
            ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::shutdown(client, SHUT_WR);
            ::close(client);
        }
    });

    auto result = testsupport::RunCommand(
        "curl -s -o /dev/null -D - --max-time 10 --proxy-user alice:wrong -x http://127.0.0.1:" +
            std::to_string(port) + " http://example.test/",
        std::chrono::seconds(20));
    ::shutdown(listener, SHUT_RDWR);
    proxy.join();
    ::close(listener);
    EXPECT_NE(result.output.find("HTTP/1.1 407 Proxy Authentication Required"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Proxy-Authenticate: Basic Realm=\"proxy\""), std::string::npos);
}

}  // namespace
