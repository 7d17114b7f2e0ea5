// The texts of a CONNECT request: its target, the list keys, the head that
// goes to an upstream proxy and the upstream's reply head.
#include <gtest/gtest.h>

#include <string>

#include "engine/tunnel/connect_request.h"

namespace {

using engine::ConnectTarget;
using engine::ConnectTargetResult;

TEST(ConnectRequest, TargetsAndTheirListKeys) {
    struct Case {
        const char* line;
        ConnectTargetResult result;
        const char* host;
        int port;
        const char* urlKey;
    };
    const Case cases[] = {
        // Port 443 is tested by the host alone, any other with its port.
        {"CONNECT a.example:443 HTTP/1.1\r\n", ConnectTargetResult::Ok, "a.example", 443, "https://a.example/"},
        {"CONNECT a.example:8443 HTTP/1.1", ConnectTargetResult::Ok, "a.example", 8443, "https://a.example:8443/"},
        {"connect A.Example:00443 http/1.0", ConnectTargetResult::Ok, "A.Example", 443, "https://A.Example/"},
        {"CONNECT a.example HTTP/1.1", ConnectTargetResult::Ok, "a.example", 80, "https://a.example/"},
        {"CONNECT   a.example:8443   HTTP/1.1", ConnectTargetResult::Ok, "a.example", 8443, "https://a.example:8443/"},
        // An IPv6 address in brackets keeps them; its colons are not the port's.
        {"CONNECT [::1]:443 HTTP/1.1", ConnectTargetResult::Ok, "[::1]", 443, "https://[::1]/"},
        {"CONNECT [2001:db8::7]:8443 HTTP/1.1", ConnectTargetResult::Ok, "[2001:db8::7]", 8443,
         "https://[2001:db8::7]:8443/"},
        {"CONNECT [::1] HTTP/1.1", ConnectTargetResult::Ok, "[::1]", 80, "https://[::1]/"},
        // A fully qualified name's trailing dot names the same host.
        {"CONNECT a.example.:443 HTTP/1.1", ConnectTargetResult::Ok, "a.example", 443, "https://a.example/"},
        {"CONNECT a.example.:8443 HTTP/1.1", ConnectTargetResult::Ok, "a.example", 8443, "https://a.example:8443/"},
        // No version after the target: the request is dropped.
        {"CONNECT a.example:443", ConnectTargetResult::BadVersion, "", 80, ""},
        {"CONNECT a.example:443 FTP/1.0", ConnectTargetResult::BadVersion, "", 80, ""},
        // Targets that name no server and port.
        {"CONNECT", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT :443 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT a.example: HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT a.example:0 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT a.example:65536 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT a.example:44x HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT a.example:+443 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT ::1:443 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT [::1 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT []:443 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
        {"CONNECT [::1]443 HTTP/1.1", ConnectTargetResult::BadTarget, "", 80, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ConnectTarget target;
        ASSERT_EQ(engine::ParseConnectTarget(c.line, target), c.result);
        if (c.result != ConnectTargetResult::Ok) continue;
        EXPECT_EQ(target.host, c.host);
        EXPECT_EQ(target.port, c.port);
        EXPECT_EQ(engine::ConnectUrlKey(target), c.urlKey);
        EXPECT_EQ(engine::ConnectListKey("192.168.1.10", 8080, target),
                  std::string("192.168.1.10:8080,connect,tcp,") + c.host + "," + std::to_string(c.port));
    }
}

// The client's password for this proxy stays here when this proxy asked
// for it; otherwise the head goes on as the client sent it.
TEST(ConnectRequest, HeadForUpstreamKeepsCredentialsOnlyWhenTheyAreNotOurs) {
    const std::string head =
        "CONNECT a.example:443 HTTP/1.1\r\nHost: a.example:443\r\nProxy-Authorization: Basic dTpw\r\n"
        "PROXY-AUTHORIZATION: Basic eDp5\r\nUser-Agent: t\r\n\r\n";
    EXPECT_EQ(engine::HeadForUpstream(head, false), head);
    EXPECT_EQ(engine::HeadForUpstream(head, true),
              "CONNECT a.example:443 HTTP/1.1\r\nHost: a.example:443\r\nUser-Agent: t\r\n\r\n");
}

TEST(ConnectRequest, UpstreamReplyHead) {
    struct Case {
        std::string received;
        size_t end;
        int status;
    };
    const std::string established = "HTTP/1.0 200 Connection established\r\nProxy-agent: p\r\n\r\n";
    const Case cases[] = {
        {established, established.size(), 200},
        {established + "\x16\x03\x01 bytes behind", established.size(), 200},
        {"HTTP/1.1 407 Proxy Authentication Required\nProxy-Authenticate: Basic\n\nbody", 70, 407},
        {"HTTP/1.1 200 OK\r\n\r\n", 19, 200},
        {"HTTP/1.0 200 Connection established\r\nProxy-agent: p\r\n", std::string::npos, 200},
        {"HTTP/1.0 200 Connection established\r\n\r", std::string::npos, 200},
        {"\r\n", 2, 0},
        {"SSH-2.0-OpenSSH\r\n", std::string::npos, 0},
        {"HTTP/1.1 2x0 odd\r\n\r\n", 20, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.received);
        EXPECT_EQ(engine::ReplyHeadEnd(c.received), c.end);
        EXPECT_EQ(engine::ReplyStatus(c.received), c.status);
    }
}

}  // namespace
