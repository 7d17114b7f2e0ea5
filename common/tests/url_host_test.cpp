#include "common/url_host.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text;
    const char* rest;  // nullptr: no host
};

const Case kCases[] = {
    // The first start found wins: "://", then "www", "WWW", then "@".
    {"GET http://a.host.test/x HTTP/1.0", "a.host.test/x HTTP/1.0"},
    {"see www.shop.test today", "www.shop.test today"},
    {"see WWW.SHOP.TEST", "WWW.SHOP.TEST"},
    {"bob@mail.test or www.web.test", "www.web.test"},
    {"write to bob@mail.test", "mail.test"},
    // Without "://" the text from the start must hold a dot.
    {"wwwnodot", nullptr},
    {"bob@localhost", nullptr},
    {"host.test", nullptr},
    {"no host here", nullptr},
    {"http://localhost/", "localhost/"},
    {"http://", ""},
    // The second search: user parts, a further scheme, "=" runs.
    {"ftp://user:pw@files.test/pub", "files.test/pub"},
    {"bob@alice@mail.test", "mail.test"},
    {"http://==www.qp.test/", "www.qp.test/"},
    {"go http://redirect.test/?to=http://real.test/", "real.test/"},
    {"http://www.a.test/mail@b.test", "www.a.test/mail@b.test"},
};

TEST(FindUrlHost, StartsAfterTheSchemeAtWwwOrAfterAnAddressSign) {
    for (const Case& c : kCases) {
        std::optional<std::string_view> rest = common::FindUrlHost(c.text);
        ASSERT_EQ(rest.has_value(), c.rest != nullptr) << c.text;
        if (c.rest) {
            EXPECT_EQ(*rest, c.rest) << c.text;
        }
    }
}

}  // namespace
