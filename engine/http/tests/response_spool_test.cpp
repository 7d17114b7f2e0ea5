#include "engine/http/response_spool.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

std::string Chunked(const std::string& body, size_t piece) {
    std::string out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    char size[32];
    for (size_t at = 0; at < body.size(); at += piece) {
        std::string part = body.substr(at, piece);
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        out += size + part + "\r\n";
    }
    return out + "0\r\nX-Trailer: yes\r\n\r\n";
}

std::string ReadAll(FILE* file) {
    std::string text;
    char block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, n);
    return text;
}

// A copy left in memory (or spilled to its file past the memory limit) is
// relayed whole, and its body copy, written late for a scan server that
// turned up, holds what the receive loop would have written.
TEST(ResponseSpoolTest, CopiesLeftOutAreMadeWholeOnDemand) {
    const std::string big(engine::kMemorySpoolLimit + 5000, 'b');
    struct {
        const char* name;
        std::string whole, body;
    } cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello"},
        {"chunked", Chunked("0\r\n\r\nabc", 3), "0\r\n\r\nabc"},
        {"chunked past the memory limit", Chunked(big, 4093), big},
        {"no head", "no head at all", "no head at all"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        engine::SpoolFiles files{dir / "req-0-0001_x", dir / "req-0-0001_x.tmp"};
        engine::ResponseSpool spool(files, false, false);
        for (size_t at = 0; at < c.whole.size(); at += 16384) {
            std::string piece = c.whole.substr(at, 16384);
            spool.AppendWhole(piece.data(), piece.size());
        }
        EXPECT_TRUE(spool.Finish()) << c.name;
        EXPECT_EQ(testsupport::FileExists(files.work), c.whole.size() > engine::kMemorySpoolLimit) << c.name;
        EXPECT_FALSE(testsupport::FileExists(files.response)) << c.name;

        EXPECT_TRUE(spool.BodyToDisk()) << c.name;
        EXPECT_TRUE(testsupport::ReadFile(files.response) == c.body) << c.name;
        EXPECT_TRUE(spool.WholeToDisk()) << c.name;
        EXPECT_TRUE(testsupport::ReadFile(files.work) == c.whole) << c.name;
        common::FilePtr relayed = spool.OpenWhole(1);
        ASSERT_TRUE(relayed) << c.name;
        EXPECT_TRUE(ReadAll(relayed.get()) == c.whole) << c.name;
        spool.Remove();
        EXPECT_FALSE(testsupport::FileExists(files.work)) << c.name;
        EXPECT_FALSE(testsupport::FileExists(files.response)) << c.name;
    }
}

// A streamed response keeps no whole copy: a body copy left out then can't
// be had later.
TEST(ResponseSpoolTest, StreamedResponseHasNoLateBody) {
    testsupport::TempDir dir;
    engine::SpoolFiles files{dir / "req-0-0001_x", dir / "req-0-0001_x.tmp"};
    engine::ResponseSpool spool(files, false, false);
    spool.AppendWhole("HTTP/1.1 200 OK\r\n\r\n", 19);
    spool.StopWhole();
    EXPECT_TRUE(spool.Finish());
    EXPECT_FALSE(spool.BodyToDisk());
    EXPECT_FALSE(testsupport::FileExists(files.response));
}

}  // namespace
