// Where a response ends and what its body is, whatever pieces it arrives
// in: each case is fed whole, byte by byte and in pieces of 7 bytes.
#include <gtest/gtest.h>

#include <string>

#include "engine/http/response_reader.h"

namespace {

using engine::BodyFraming;
using engine::ResponseReader;

struct Case {
    const char* name;
    std::string stream;     // what the server sends (the response, maybe more)
    bool bodyless;          // the request was HEAD
    bool closeAfter;        // the server closes after the stream
    size_t extra;           // bytes at the end that are not the response's
    std::string body;       // the body for the scan
    BodyFraming framing;
    int status;
    bool ended;             // ended by its framing (or by the close when closeAfter)
    bool truncated;
    bool reusable;
};

const std::string kChunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
// Chunk data that holds the text a search for the last chunk would stop at.
const std::string kChunked = kChunkedHead + "9;name=x\r\nab0\r\n\r\ncd\r\n3\r\nefg\r\n0\r\nX-Sum: 1\r\nX-More: 2\r\n\r\n";

std::vector<Case> Cases() {
    const std::string longHead = "HTTP/1.1 200 OK\r\nX: " + std::string(engine::kResponseHeadReadLimit, 'a');
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    std::string interimFlood;
    while (interimFlood.size() <= engine::kResponseHeadReadLimit) interimFlood += interim;
    return {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", false, false, 5, "hello",
         BodyFraming::Length, 200, true, false, true},
        {"zero_length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, false, 0, "", BodyFraming::Length,
         200, true, false, true},
        {"chunked_with_trailers", kChunked + "NEXT", false, false, 4, "ab0\r\n\r\ncdefg",
         BodyFraming::Chunked, 200, true, false, true},
        {"chunked_bare_lf", kChunkedHead + "2\nab\n0\n\n", false, false, 0, "ab",
         BodyFraming::Chunked, 200, true, false, true},
        {"chunked_bad_size", kChunkedHead + "zz\r\nab\r\n", false, false, 8, "",
         BodyFraming::Chunked, 200, true, true, false},
        {"chunked_cut_short", kChunkedHead + "5\r\nab", false, true, 0, "ab",
         BodyFraming::Chunked, 200, true, true, false},
        {"lf_head", "HTTP/1.1 200 OK\nContent-Length: 3\n\nabc", false, false, 0, "abc", BodyFraming::Length, 200,
         true, false, true},
        {"no_content_ignores_length", "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n", false, false, 0, "",
         BodyFraming::None, 204, true, false, true},
        {"not_modified", "HTTP/1.1 304 Not Modified\r\nETag: x\r\n\r\n", false, false, 0, "", BodyFraming::None,
         304, true, false, true},
        {"head_request", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", true, false, 0, "", BodyFraming::None,
         200, true, false, true},
        {"interim_then_final", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
         false, 0, "ok", BodyFraming::Length, 200, true, false, true},
        {"close_delimited", "HTTP/1.1 200 OK\r\n\r\nuntil close", false, true, 0, "until close", BodyFraming::Close,
         200, true, false, false},
        {"length_cut_short", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", false, true, 0, "abc",
         BodyFraming::Length, 200, true, true, false},
        {"no_status_line", "just bytes\r\n\r\nmore", false, true, 0, "just bytes\r\n\r\nmore", BodyFraming::Close, 0,
         true, false, false},
        {"head_never_ends", "HTTP/1.1 200 OK\r\nX: y\r\n", false, true, 0, "HTTP/1.1 200 OK\r\nX: y\r\n",
         BodyFraming::Close, 0, true, false, false},
        {"interim_then_close", interim + "HTTP/1.1 200 OK\r\nX: y", false, true, 0,
         interim + "HTTP/1.1 200 OK\r\nX: y", BodyFraming::Close, 0, true, false, false},
        {"interim_heads_without_end", interimFlood, false, true, 0, interimFlood, BodyFraming::Close, 0, true, false,
         false},
        {"head_too_long", longHead, false, true, 0, longHead, BodyFraming::Close, 0, true, false,
         false},
        {"http10_closes", "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\nx", false, false, 0, "x",
         BodyFraming::Length, 200, true, false, false},
        {"http10_keep_alive", "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 1\r\n\r\nx", false,
         false, 0, "x", BodyFraming::Length, 200, true, false, true},
        {"connection_close", "HTTP/1.1 200 OK\r\nConnection: Close\r\nContent-Length: 1\r\n\r\nx", false, false, 0,
         "x", BodyFraming::Length, 200, true, false, false},
        {"lengths_that_differ", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 50\r\n\r\nabcdef", false, true,
         0, "abcdef", BodyFraming::Close, 200, true, false, false},
        {"bad_length_then_good", "HTTP/1.1 200 OK\r\nContent-Length: x\r\nContent-Length: 2\r\n\r\nabcd", false, true,
         0, "abcd", BodyFraming::Close, 200, true, false, false},
        {"chunked_wins_over_length",
         "HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: gzip, chunked\r\n\r\n1\r\nz\r\n0\r\n\r\n", false,
         false, 0, "z", BodyFraming::Chunked, 200, true, false, true},
    };
}

void Feed(const Case& c, size_t pieceSize) {
    SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(pieceSize));
    ResponseReader reader(c.bodyless);
    std::string body;
    size_t used = 0;
    for (size_t at = 0; at < c.stream.size() && !reader.ended(); at += pieceSize) {
        std::string_view piece = std::string_view(c.stream).substr(at, pieceSize);
        size_t taken = reader.Feed(piece, body);
        used += taken;
        if (taken < piece.size()) break;
    }
    if (c.closeAfter) {
        EXPECT_FALSE(reader.ended()) << "ended before the close";
        reader.FinishAtClose(body);
    }
    EXPECT_EQ(used, c.stream.size() - c.extra);
    EXPECT_EQ(body, c.body);
    EXPECT_EQ(reader.framing(), c.framing);
    EXPECT_EQ(reader.head().status, c.status);
    EXPECT_EQ(reader.ended(), c.ended);
    EXPECT_EQ(reader.truncated(), c.truncated);
    EXPECT_EQ(reader.reusable(), c.reusable);
}

TEST(ResponseReader, EndsWhereTheFramingSaysInAnyPieces) {
    for (const Case& c : Cases()) {
        for (size_t pieceSize : {c.stream.size(), size_t{1}, size_t{7}}) Feed(c, pieceSize);
    }
}

TEST(ResponseReader, HeadTextKeepsInterimHeads) {
    ResponseReader reader;
    std::string body;
    const std::string stream = "HTTP/1.1 103 Early Hints\nLink: x\n\nHTTP/1.1 200 OK\nContent-Length: 1\n\n!";
    EXPECT_EQ(reader.Feed(stream, body), stream.size());
    EXPECT_EQ(reader.headText(), stream.substr(0, stream.size() - 1));
    EXPECT_TRUE(reader.headFound());
}

}  // namespace
