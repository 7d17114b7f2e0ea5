// The SOCKS forms read from what has arrived so far, and the replies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/socks/binary_dump.h"
#include "engine/socks/socks_wire.h"

namespace engine {
namespace {

using namespace std::string_literals;

struct RequestCase {
    const char* name;
    std::string bytes;
    SocksParse parse;
    int addressType;
    std::string host;
    int port;
    std::size_t length;
};

template <std::size_t N>
void ExpectRequests(const RequestCase (&cases)[N], SocksParse (*parse)(std::string_view, SocksRequest&)) {
    for (const RequestCase& c : cases) {
        SocksRequest request;
        const SocksParse result = parse(c.bytes, request);
        EXPECT_EQ(result, c.parse) << c.name;
        if (result != SocksParse::kComplete || c.parse != SocksParse::kComplete) continue;
        EXPECT_EQ(request.addressType, c.addressType) << c.name;
        EXPECT_EQ(request.host, c.host) << c.name;
        EXPECT_EQ(request.port, c.port) << c.name;
        EXPECT_EQ(request.length, c.length) << c.name;
        if (request.version == 5) {
            EXPECT_EQ(request.addressField, c.bytes.substr(4, c.length - 4)) << c.name;
        }
    }
}

TEST(SocksWire, Socks4Requests) {
    const RequestCase cases[] = {
        {"v4 with user", "\4\1\x1f\x90\x7f\0\0\1user\0"s, SocksParse::kComplete, kSocksIPv4, "127.0.0.1", 8080, 13},
        {"v4 without user", "\4\1\0\x50\x0a\1\2\3\0"s, SocksParse::kComplete, kSocksIPv4, "10.1.2.3", 80, 9},
        {"v4 user not ended", "\4\1\0\x50\x0a\1\2\3us"s, SocksParse::kIncomplete, 0, "", 0, 0},
        {"v4 too short", "\4\1\0\x50"s, SocksParse::kIncomplete, 0, "", 0, 0},
        // The 4a name follows the user id's NUL, whatever the user id's length.
        {"4a empty user", "\4\1\0\x50\0\0\0\1\0example.org\0"s, SocksParse::kComplete, kSocksDomain, "example.org",
         80, 21},
        {"4a with user", "\4\1\0\x50\0\0\0\7bob\0example.org\0"s, SocksParse::kComplete, kSocksDomain,
         "example.org", 80, 24},
        {"4a name not ended", "\4\1\0\x50\0\0\0\7bob\0exam"s, SocksParse::kIncomplete, 0, "", 0, 0},
        {"4a empty name", "\4\1\0\x50\0\0\0\7bob\0\0"s, SocksParse::kBad, 0, "", 0, 0},
        {"4a name with blank", "\4\1\0\x50\0\0\0\7\0a b\0"s, SocksParse::kBad, 0, "", 0, 0},
        {"not v4", "\5\1\0"s, SocksParse::kBad, 0, "", 0, 0},
    };
    ExpectRequests(cases, ParseSocks4Request);
}

TEST(SocksWire, Socks5Requests) {
    const RequestCase cases[] = {
        {"ipv4", "\5\1\0\1\x7f\0\0\1\x01\xbb"s, SocksParse::kComplete, kSocksIPv4, "127.0.0.1", 443, 10},
        {"ipv4 short", "\5\1\0\1\x7f\0\0\1\x01"s, SocksParse::kIncomplete, 0, "", 0, 0},
        {"domain", "\5\1\0\3\x0b" "example.org\0\x50"s, SocksParse::kComplete, kSocksDomain, "example.org", 80, 18},
        {"domain short", "\5\1\0\3\x0b" "example"s, SocksParse::kIncomplete, 0, "", 0, 0},
        {"domain empty", "\5\1\0\3\0\0\x50"s, SocksParse::kBad, 0, "", 0, 0},
        {"domain with NUL", "\5\1\0\3\3a\0b\0\x50"s, SocksParse::kBad, 0, "", 0, 0},
        {"ipv6", "\5\1\0\4"s + std::string(15, '\0') + "\1\x1f\x90"s, SocksParse::kComplete, kSocksIPv6, "::1",
         8080, 22},
        {"ipv6 short", "\5\1\0\4"s + std::string(15, '\0'), SocksParse::kIncomplete, 0, "", 0, 0},
        {"unknown type", "\5\1\0\7\1\2\3\4\0\x50"s, SocksParse::kBad, 0, "", 0, 0},
        {"header only", "\5\1\0"s, SocksParse::kIncomplete, 0, "", 0, 0},
    };
    ExpectRequests(cases, ParseSocks5Request);
}

TEST(SocksWire, GreetingAndCredentials) {
    std::vector<unsigned char> methods;
    std::size_t length = 0;
    EXPECT_EQ(ParseSocks5Greeting("\5\2\0"s, methods, length), SocksParse::kIncomplete);
    ASSERT_EQ(ParseSocks5Greeting("\5\2\0\2rest"s, methods, length), SocksParse::kComplete);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(methods, (std::vector<unsigned char>{0, 2}));
    EXPECT_EQ(ParseSocks5Greeting("\5\0"s, methods, length), SocksParse::kBad);

    std::string user, password;
    EXPECT_EQ(ParseSocks5Credentials("\1\1u\2p"s, user, password, length), SocksParse::kIncomplete);
    ASSERT_EQ(ParseSocks5Credentials("\1\1u\2pw"s, user, password, length), SocksParse::kComplete);
    EXPECT_EQ(user, "u");
    EXPECT_EQ(password, "pw");
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(ParseSocks5Credentials("\5\1u\1p"s, user, password, length), SocksParse::kBad);
}

TEST(SocksWire, MethodChoiceTakesOnlyOfferedMethods) {
    struct Case {
        std::vector<unsigned char> offered;
        bool authentication;
        unsigned char chosen;
    } cases[] = {
        {{0}, false, kSocksMethodNone},
        {{2, 0}, false, kSocksMethodNone},
        {{2}, false, kSocksMethodPassword},
        {{0, 2}, true, kSocksMethodPassword},
        // With -a on, a client offering only "no authentication" is not served.
        {{0}, true, kSocksMethodNoneAcceptable},
        {{1}, false, kSocksMethodNoneAcceptable},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseSocks5Method(c.offered, c.authentication), c.chosen)
            << c.offered.size() << " " << c.authentication;
}

TEST(SocksWire, RepliesEchoTheRequestsAddressType) {
    SocksRequest request;
    ASSERT_EQ(ParseSocks5Request("\5\1\0\3\x0b" "example.org\0\x50"s, request), SocksParse::kComplete);
    EXPECT_EQ(BuildSocksReply(request, 0), "\5\0\0\3\x0b" "example.org\0\x50"s);
    ASSERT_EQ(ParseSocks5Request("\5\1\0\4"s + std::string(15, '\0') + "\1\x1f\x90"s, request), SocksParse::kComplete);
    const std::string v6 = BuildSocksReply(request, 1);
    EXPECT_EQ(v6.size(), 22u);
    EXPECT_EQ(v6.substr(0, 4), "\5\1\0\4"s);
    ASSERT_EQ(ParseSocks4Request("\4\1\0\x50\0\0\0\7bob\0example.org\0"s, request), SocksParse::kComplete);
    EXPECT_EQ(BuildSocksReply(request, kSocks4Granted), "\0\x5a\0\x50\0\0\0\7"s);
    // An address that could not be read is answered as an empty IPv4 one.
    SocksRequest unread;
    unread.version = 5;
    unread.addressType = 7;
    EXPECT_EQ(BuildSocksReply(unread, kSocks5AddressTypeNotSupported), "\5\x08\0\1\0\0\0\0\0\0"s);
}

TEST(SocksWire, AddressReplies) {
    EXPECT_EQ(BuildSocksAddressReply(4, 90, "127.0.0.1", 0x1234), "\0\x5a\x12\x34\x7f\0\0\1"s);
    EXPECT_EQ(BuildSocksAddressReply(4, 90, "::ffff:10.0.0.1", 80), "\0\x5a\0\x50\x0a\0\0\1"s);
    EXPECT_EQ(BuildSocksAddressReply(4, 90, "::1", 80), "");
    EXPECT_EQ(BuildSocksAddressReply(5, 0, "127.0.0.1", 80), "\5\0\0\1\x7f\0\0\1\0\x50"s);
    EXPECT_EQ(BuildSocksAddressReply(5, 0, "::1", 80), "\5\0\0\4"s + std::string(15, '\0') + "\1\0\x50"s);
    EXPECT_EQ(BuildSocksAddressReply(5, 0, "gw.example", 80), "\5\0\0\3\x0agw.example\0\x50"s);
}

TEST(SocksWire, UdpHeaderIsCheckedAgainstTheDatagram) {
    SocksUdpHeader header;
    ASSERT_TRUE(ParseSocksUdpHeader("\0\0\0\1\x7f\0\0\1\x30\x39payload"s, header));
    EXPECT_EQ(header.length, 10u);
    EXPECT_EQ(header.port, 12345);
    ASSERT_TRUE(ParseSocksUdpHeader("\0\0\1\3\x09localhost\0\x35x"s, header));
    EXPECT_EQ(header.fragment, 1);
    EXPECT_EQ(header.host, "localhost");
    EXPECT_EQ(header.length, 16u);
    ASSERT_TRUE(ParseSocksUdpHeader("\0\0\0\4"s + std::string(15, '\0') + "\1\0\x35"s, header));
    EXPECT_EQ(header.length, 22u);
    EXPECT_EQ(header.host, "::1");
    EXPECT_FALSE(ParseSocksUdpHeader("\0\0\0\1\x7f\0\0"s, header));
    EXPECT_FALSE(ParseSocksUdpHeader("\0\0\0\3\x20short\0\x35"s, header));
    EXPECT_FALSE(ParseSocksUdpHeader("\0\0\0\4\0\0"s, header));
    EXPECT_FALSE(ParseSocksUdpHeader("\1\0\0\1\x7f\0\0\1\0\x35"s, header));
}

TEST(SocksWire, BinaryDumpRows) {
    const std::string sixteen(16, '\x01');
    EXPECT_EQ(BinaryDumpText(7, sixteen.data(), sixteen.size()),
              "[BinaryDump] [0007]\n  01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 01 \n  \n\n");
    EXPECT_EQ(BinaryDumpText(12, "\x05\x00", 2), "[BinaryDump] [0012]\n  05 00 \n\n");
    const std::string large(4000, 'a');
    EXPECT_LE(BinaryDumpText(1, large.data(), large.size()).size(), 1003u);
}

}  // namespace
}  // namespace engine
