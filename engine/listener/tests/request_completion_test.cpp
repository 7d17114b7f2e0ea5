#include "engine/listener/request_completion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    const char* name;
    std::vector<std::string> pieces;  // received one after another
    int completeAfter;                // index of the piece that completes it, -1 never
    bool bodyExpected;
    std::size_t unused = 0;  // bytes of the last piece behind the request's end
};

const std::string kLongHeader = "X-Long: " + std::string(5000, 'a') + "\r\n";

const Case kCases[] = {
    {"GetEndsAtEmptyLine", {"GET http://a.test/ HTTP/1.1\r\nHost: a.test\r\n", "\r\n"}, 1, false},
    {"GetWithExtraBytesInSameReceive", {"GET / HTTP/1.1\r\n\r\nGET /next HTTP/1.1\r\n"}, 0, false, 20},
    {"PostBodyThenNextRequest", {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nab", "cGET / HTTP/1.1\r\n\r\n"}, 1, true,
     18},
    {"ChunkedThenNextRequest", {"PUT / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\nGET"}, 0, true,
     3},
    {"GetIgnoresContentLength", {"GET / HTTP/1.1\r\nContent-Length: 10\r\n\r\n"}, 0, false},
    {"HeadSplitInsideCrLf", {"GET / HTTP/1.1\r\n\r", "\n"}, 1, false},
    {"PostInPieces", {"POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\n", "01234", "5678", "9"}, 3, true},
    {"PostLowerCaseNoBlankAfterColon", {"post / HTTP/1.1\r\ncontent-length:3\r\n\r\nabc"}, 0, true},
    {"PutCounted", {"PUT /f HTTP/1.1\r\nCONTENT-LENGTH: 2\r\n\r\na", "b"}, 1, true},
    {"PostWithoutLengthEndsAtHead", {"POST / HTTP/1.1\r\nHost: a\r\n\r\n"}, 0, true},
    {"BareLfHeadNeverEnds", {"GET / HTTP/1.1\nHost: a\n\n", "\n"}, -1, false},
    {"LongHeaderLineDoesNotEndHead", {"GET / HTTP/1.1\r\n" + kLongHeader, "Host: a\r\n", "\r\n"}, 2, false},
    {"ChunkedUpload",
     {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "5\r\nhello\r\n", "6;ext=1\r\n world\r\n", "0\r\n",
      "\r\n"},
     4, true},
    {"ChunkedWithTrailer", {"PUT / HTTP/1.1\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n"},
     0, true},
    {"ChunkedWinsOverLength",
     {"POST / HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", "0\r\n\r\n"}, 1, true},
    {"ChunkDataHoldingCrLfCrLf", {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n\r\n\r\n\r\n", "0\r\n\r\n"},
     1, true},
    {"BrokenChunkSizeHandsOver", {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "zz\r\n"}, 1, true},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RequestCompletionTest : public testing::TestWithParam<Case> {};

TEST_P(RequestCompletionTest, CompletesExactlyAtTheRightPiece) {
    const Case& c = GetParam();
    engine::RequestCompletion completion;
    int completedAt = -1;
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
        if (completion.Feed(c.pieces[i]) && completedAt < 0) completedAt = static_cast<int>(i);
    }
    EXPECT_EQ(completedAt, c.completeAfter);
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
    EXPECT_EQ(completion.FirstLine(), "POST http://a.test/ HTTP/1.1");
}

}  // namespace
