#include "engine/listener/request_completion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::vector<std::string> pieces;  // received one after another
    int finishedAfter;                // index of the piece that completes (or refuses) it, -1 never
    int refusal;                      // the refusal's status; 0 when the request is served
    bool bodyExpected = false;
    std::size_t unused = 0;  // bytes of the last piece behind the request's end
};

const std::string kLongHeader = "X-Long: " + std::string(5000, 'a') + "\r\n";
const std::string kRequestLine = "GET / HTTP/1.1\r\n";

std::string HeaderLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "X-" + std::to_string(i) + ": v\r\n";
    return lines;
}

// A literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

// A head of exactly `size` bytes, its empty line included.
std::string HeadOfSize(std::size_t size) {
    return kRequestLine + "X: " + std::string(size - kRequestLine.size() - 3 - 4, 'a') + "\r\n\r\n";
}

const Case kCases[] = {
    {"GetEndsAtEmptyLine", {"GET http://a.test/ HTTP/1.1\r\nHost: a.test\r\n", "\r\n"}, 1, 0},
    {"GetWithExtraBytesInSameReceive", {"GET / HTTP/1.1\r\n\r\nGET /next HTTP/1.1\r\n"}, 0, 0, false, 20},
    {"PostBodyThenNextRequest", {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nab", "cGET / HTTP/1.1\r\n\r\n"}, 1, 0,
     true, 18},
    {"ChunkedThenNextRequest", {"PUT / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\nGET"}, 0, 0,
     true, 3},
    // Every method's body is its own, not the next request.
    {"GetWithLengthWaitsForItsBody", {"GET / HTTP/1.1\r\nContent-Length: 10\r\n\r\n", "0123456789GET"}, 1, 0, true, 3},
    {"GetWithChunkedBody", {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\nGET"}, 0, 0, true,
     3},
    {"OptionsWithLength", {"OPTIONS * HTTP/1.1\r\nContent-Length: 2\r\n\r\n", "ab"}, 1, 0, true},
    {"GetWithZeroLength", {"GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"}, 0, 0},
    {"HeadSplitInsideCrLf", {"GET / HTTP/1.1\r\n\r", "\n"}, 1, 0},
    {"PostInPieces", {"POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n", "01234", "5678", "9"}, 3, 0, true},
    {"PostLowerCaseNoBlankAfterColon", {"post / HTTP/1.1\r\ncontent-length:3\r\n\r\nabc"}, 0, 0, true},
    {"PutCounted", {"PUT /f HTTP/1.1\r\nCONTENT-LENGTH: 2\r\n\r\na", "b"}, 1, 0, true},
    {"PostWithoutLengthEndsAtHead", {"POST / HTTP/1.1\r\nHost: a\r\n\r\n"}, 0, 0, true},
    {"SameLengthTwice", {"POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 3, 3\r\n\r\nabc"}, 0, 0, true},
    {"BareLfHeadEndsAtItsEmptyLine", {"GET / HTTP/1.1\nHost: a\n\n"}, 0, 0},
    {"BareLfHeadInPieces", {"GET / HTTP/1.1\nHost: a\n", "\n"}, 1, 0},
    {"CrAtTheEndOfAPieceWaitsForItsLf", {"GET / HTTP/1.1\r", "\nHost: a\r", "\n\r", "\n"}, 3, 0},
    {"LongHeaderLineDoesNotEndHead", {kRequestLine + kLongHeader, "Host: a\r\n", "\r\n"}, 2, 0},
    {"HeadAtItsBound", {HeadOfSize(65536)}, 0, 0},
    {"HeaderLinesAtTheirBound", {kRequestLine + HeaderLines(100) + "\r\n"}, 0, 0},
    {"RequestLineAtItsBound", {"GET /" + std::string(16384 - 14, 'a') + " HTTP/1.1\r\n\r\n"}, 0, 0},
    {"ChunkedUpload",
     {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "5\r\nhello\r\n", "6;ext=1\r\n world\r\n", "0\r\n",
      "\r\n"},
     4, 0, true},
    {"ChunkedWithTrailer", {"PUT / HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n"}, 0,
     0, true},
    {"ChunkDataHoldingCrLfCrLf", {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n\r\n\r\n\r\n", "0\r\n\r\n"},
     1, 0, true},

    // Framing the engine and a server could read differently.
    {"LengthAndChunked", {"POST / HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n"}, 0,
     400, true},
    {"LengthsDiffer", {"GET / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd"}, 0, 400},
    {"LengthListDiffers", {"GET / HTTP/1.1\r\nContent-Length: 3, 4\r\n\r\nabcd"}, 0, 400},
    {"LengthNoNumber", {"POST / HTTP/1.1\r\nContent-Length: 3x\r\n\r\nabc"}, 0, 400, true},
    {"LengthNegative", {"POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n"}, 0, 400, true},
    {"LengthEmpty", {"POST / HTTP/1.1\r\nContent-Length:\r\n\r\n"}, 0, 400, true},
    {"LengthTooLong", {"POST / HTTP/1.1\r\nContent-Length: 9999999999999999999\r\n\r\n"}, 0, 400, true},
    {"BlankBeforeTheColon", {"POST / HTTP/1.1\r\nTransfer-Encoding : chunked\r\n", "\r\n"}, 0, 400, true},
    {"ChunkedNotLast", {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked, gzip\r\n\r\n"}, 0, 400, true},
    {"EncodingEmpty", {"POST / HTTP/1.1\r\nTransfer-Encoding: \r\n\r\n"}, 0, 400, true},
    {"CodingBeforeChunked", {"PUT / HTTP/1.1\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n"}, 0, 501,
     true},
    {"BrokenChunkSize", {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "zz\r\n"}, 1, 400, true},

    // Heads that are no heads.
    {"TwoHostLines", {"GET http://a.test/ HTTP/1.1\r\nHost: a.test\r\nHost: b.test\r\n\r\n"}, 0, 400},
    {"NulInAHeader", {Bytes("GET / HTTP/1.1\r\nX: a\0b\r\n\r\n")}, 0, 400},
    {"NulInHost", {Bytes("GET http://a.test/ HTTP/1.1\r\nHost: b.test\0.a.test\r\n")}, 0, 400},
    {"NulInTheRequestLine", {Bytes("GET /\0 HTTP/1.1")}, 0, 400},
    {"CrOnlyLineEnds", {"GET http://a.test/ HTTP/1.1\rHost: a.test\r\r"}, 0, 400},
    {"CrInsideALine", {"GET / HTTP/1.1\r\nX: a\rb\r\n\r\n"}, 0, 400},
    {"FoldedLine", {"GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n"}, 0, 400},
    {"LineWithoutColon", {"GET / HTTP/1.1\r\nX-Pad: a\r\nGET /secret HTTP/1.1\r\n\r\n"}, 0, 400},
    {"EmptyRequestLine", {"\r\nGET / HTTP/1.1\r\n\r\n"}, 0, 400},
    {"TooManyHeaderLines", {kRequestLine + HeaderLines(101) + "\r\n"}, 0, 431},
    {"HeadOverItsBound", {HeadOfSize(65537)}, 0, 431},
    // A head that never ends is refused once past the bound, not when it ends.
    {"EndlessHeaderLine",
     {kRequestLine + "X: ", std::string(16384, 'a'), std::string(16384, 'a'), std::string(16384, 'a'),
      std::string(16384, 'a')},
     4, 431},
    {"EndlessRequestLine", {"GET /" + std::string(16384, 'a')}, 0, 414},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RequestCompletionTest : public testing::TestWithParam<Case> {};

TEST_P(RequestCompletionTest, FinishesExactlyAtTheRightPiece) {
    const Case& c = GetParam();
    engine::RequestCompletion completion;
    int finishedAt = -1;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        if (completion.Feed(c.pieces[i]) && finishedAt < 0) finishedAt = static_cast<int>(i);
    }
    EXPECT_EQ(finishedAt, c.finishedAfter);
    EXPECT_EQ(completion.Refusal().status, c.refusal) << completion.Refusal().why;
    EXPECT_EQ(completion.Complete(), c.finishedAfter >= 0 && c.refusal == 0);
    if (c.refusal != 0) return;
    EXPECT_EQ(completion.BodyExpected(), c.bodyExpected);
    EXPECT_EQ(completion.Unused(), c.unused);
}

INSTANTIATE_TEST_SUITE_P(Cases, RequestCompletionTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(RequestCompletion, OneByteAtATimeMatchesWholeFeed) {
    const std::string request =
        "POST http://a.test/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n";
    engine::RequestCompletion completion;
    for (std::size_t i = 0; i < request.size(); ++i) {
        EXPECT_EQ(completion.Feed(request.substr(i, 1)), i + 1 == request.size()) << "at byte " << i;
    }
    EXPECT_TRUE(completion.Complete());
    EXPECT_EQ(completion.FirstLine(), "POST http://a.test/ HTTP/1.1");
}

// What the road that forwards the request needs of its body.
TEST(RequestCompletion, BodyFraming) {
    struct {
        std::string head, body;
        bool framed, chunked;
        std::uint64_t length;
    } cases[] = {
        {"GET / HTTP/1.1\r\n\r\n", "", false, false, 0},
        {"GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "", true, false, 0},
        {"GET / HTTP/1.1\nContent-Length: 5\n\n", "hello", true, false, 5},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "5\r\nhello\r\n6;x=y\r\n world\r\n0\r\nT: 1\r\n\r\n",
         true, true, 11},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "0\r\n\r\n", true, true, 0},
    };
    for (const auto& c : cases) {
        engine::RequestCompletion completion;
        EXPECT_TRUE(completion.Feed(c.head + c.body)) << c.head;
        EXPECT_TRUE(completion.Complete()) << c.head;
        EXPECT_EQ(completion.HeadLength(), c.head.size()) << c.head;
        EXPECT_EQ(completion.Framed(), c.framed) << c.head;
        EXPECT_EQ(completion.Chunked(), c.chunked) << c.head;
        EXPECT_EQ(completion.BodyLength(), c.length) << c.head;
    }
}

// A client that announces "Expect: 100-continue" waits for leave once its
// head is in and its body still to come; an HTTP/1.0 client does not.
TEST(RequestCompletion, AwaitsContinue) {
    struct {
        std::string head;
        bool awaits;
    } cases[] = {
        {"POST / HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 3\r\n\r\n", true},
        {"PUT / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nexpect:100-continue\r\n\r\n", true},
        {"POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 0\r\n\r\n", false},
        {"POST / HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n", false},
        {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\n", false},
        {"POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n", false},
    };
    for (const auto& c : cases) {
        engine::RequestCompletion completion;
        completion.Feed(c.head);
        EXPECT_EQ(completion.AwaitsContinue(), c.awaits) << c.head;
    }
}

}  // namespace
