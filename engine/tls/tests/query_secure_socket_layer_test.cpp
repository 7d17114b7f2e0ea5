// Which listen ports speak TLS, from the protocol's connection list.
#include "engine/tls/tests/tls_test_base.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::HasSubstr;

namespace {

using QuerySecureSocketLayer = tlsfixture::TlsTest;

TEST_F(QuerySecureSocketLayer, ReadsTheMarksOfTheListenLine) {
    struct Case {
        const char* name;
        const char* list;
        const char* address;
        int port;
        int result;
        const char* certificate;
        const char* key;
        const char* log;
    } cases[] = {
        {"tls port", "127.0.0.1 995+/etc/c.pem\t/etc/k.pem=,pop.example.com,995\n", "127.0.0.1", 995, 1,
         "/etc/c.pem", "/etc/k.pem", "[Query_SecureSocketLayer] 127.0.0.1 995 - found.\n"},
        {"starttls port", "127.0.0.1 995-/etc/c.pem\t/etc/k.pem=,pop.example.com,110\n", "127.0.0.1", 995, 0,
         "/etc/c.pem", "/etc/k.pem", "[Query_SecureSocketLayer] 127.0.0.1 995 - found. (STARTTLS on)\n"},
        {"tls port without a tab has no files", "127.0.0.1 995+/etc/c.pem\n", "127.0.0.1", 995, 1, "", "",
         "[Query_SecureSocketLayer] 127.0.0.1 995 - found.\n"},
        {"port 995 is not port 99", "127.0.0.1 995+/etc/c.pem\t/etc/k.pem\n", "127.0.0.1", 99, 0, "", "",
         "[Query_SecureSocketLayer] 127.0.0.1 99 - not found.\n"},
        {"another address", "127.0.0.2 995+/etc/c.pem\t/etc/k.pem\n", "127.0.0.1", 995, 0, "", "",
         "[Query_SecureSocketLayer] 127.0.0.1 995 - not found.\n"},
        {"a plain line is no tls port", "127.0.0.1 110=,pop.example.com,995+\n", "127.0.0.1", 110, 0, "", "",
         "[Query_SecureSocketLayer] 127.0.0.1 110 - not found.\n"},
        {"comments, blank lines and CR LF",
         "' comment 127.0.0.1 110+/x\t/y\r\n\r\n 127.0.0.1 110+/x\t/y\r\n\"127.0.0.1 110+/x\t/y\r\n"
         "127.0.0.1 110-/s.pem\t/s.key\r\n",
         "127.0.0.1", 110, 0, "/s.pem", "/s.key",
         "[Query_SecureSocketLayer] 127.0.0.1 110 - found. (STARTTLS on)\n"},
        {"first matching line wins", "127.0.0.1 993+/a\t/b\n127.0.0.1 993-/c\t/d\n", "127.0.0.1", 993, 1, "/a",
         "/b", "[Query_SecureSocketLayer] 127.0.0.1 993 - found.\n"},
        {"signs inside paths", "127.0.0.1 25-/etc/ssl/c++/mail-cert.pem\t/etc/ssl/mail+key.pem\n", "127.0.0.1", 25,
         0, "/etc/ssl/c++/mail-cert.pem", "/etc/ssl/mail+key.pem",
         "[Query_SecureSocketLayer] 127.0.0.1 25 - found. (STARTTLS on)\n"},
        {"ipv6 listen address", "::1 993+/c\t/k\n", "::1", 993, 1, "/c", "/k",
         "[Query_SecureSocketLayer] ::1 993 - found.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(dir / "pop3.ini", c.list);
        std::string certificate = "stale", key = "stale";
        testing::internal::CaptureStderr();
        int result = engine::Query_SecureSocketLayer(dir / "pop3.ini", c.address, c.port, certificate, key);
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(certificate, c.certificate);
        EXPECT_EQ(key, c.key);
        EXPECT_THAT(log, HasSubstr(c.log));
    }
}

TEST_F(QuerySecureSocketLayer, MissingListMeansNoTls) {
    std::string certificate = "stale", key = "stale";
    testing::internal::CaptureStderr();
    EXPECT_EQ(engine::Query_SecureSocketLayer(dir / "http.ini", "127.0.0.1", 8080, certificate, key), 0);
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                HasSubstr("[Query_SecureSocketLayer] 127.0.0.1 8080 - not found.\n"));
    EXPECT_EQ(certificate, "");
    EXPECT_EQ(key, "");
}

}  // namespace
