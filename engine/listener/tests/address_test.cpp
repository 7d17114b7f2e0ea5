#include "engine/core/address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

namespace {

sockaddr_storage IPv6(const char* text, int port) {
    sockaddr_storage storage{};
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET6, text, &v6->sin6_addr);
    return storage;
}

// A client that reaches an IPv6 socket over IPv4 must look like any other
// IPv4 client to the admission rules and in the logs.
TEST(Address, MappedIPv4ClientsAreDotted) {
    sockaddr_storage mapped = IPv6("::ffff:192.0.2.7", 4321);
    EXPECT_EQ(engine::AddressToText(reinterpret_cast<sockaddr*>(&mapped)).value_or("?"), "192.0.2.7");

    socklen_t length = sizeof(sockaddr_in6);
    engine::UnmapIPv4(mapped, length);
    EXPECT_EQ(mapped.ss_family, AF_INET);
    EXPECT_EQ(length, sizeof(sockaddr_in));
    EXPECT_EQ(engine::AddressPort(reinterpret_cast<sockaddr*>(&mapped)), 4321);
    EXPECT_EQ(engine::AddressToText(reinterpret_cast<sockaddr*>(&mapped)).value_or("?"), "192.0.2.7");

    sockaddr_storage plain = IPv6("2001:db8::1", 80);
    engine::UnmapIPv4(plain, length);
    EXPECT_EQ(plain.ss_family, AF_INET6);
    EXPECT_EQ(engine::AddressToText(reinterpret_cast<sockaddr*>(&plain)).value_or("?"), "2001:db8::1");
}

TEST(Address, TextToAddress) {
    struct Case {
        int family;
        const char* text;
        int result;
    } cases[] = {
        {AF_INET, "192.0.2.1", 1},         {AF_INET, "10.1", 1},        {AF_INET, "255.255.255.255", 0},
        {AF_INET, "host.test", 0},         {AF_INET6, "::1", 1},        {AF_INET6, "fe80::1%1", 0},
        {AF_INET6, "[::1]:80", 0},         {AF_INET6, "192.0.2.1", 0},  {AF_UNIX, "::1", -1},
    };
    for (const Case& c : cases) {
        sockaddr_storage address;
        errno = 0;
        EXPECT_EQ(engine::TextToAddress(c.family, c.text, address), c.result) << c.text;
        if (c.result == -1) {
            EXPECT_EQ(errno, engine::kAddressFamilyNotSupported);
        }
    }
}

TEST(Address, ReverseNameOfANonNumericTextIsBracketed) {
    EXPECT_EQ(engine::ReverseName("no-address"), "[no-address]");
    EXPECT_EQ(engine::ReverseName("127.0.0.1"), "localhost");
}

}  // namespace
