// When a reply of the line relay is complete: each protocol's rule for the
// end of a server reply, and which client commands are answered by more
// than one line.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "engine/linerelay/reply_completion.h"

namespace engine {
namespace {

// Feeds the text in the given pieces; the length once complete.
std::size_t Complete(ReplyScanner scanner, const std::vector<std::string>& pieces) {
    std::string data;
    std::size_t length = kIncomplete;
    for (const std::string& piece : pieces) {
        data += piece;
        length = scanner.Scan(data);
    }
    return length;
}

TEST(ReplyCompletion, EachProtocolEndsItsReplyWhereItsRuleSays) {
    struct Case {
        const char* name;
        ReplyKind kind;
        std::string tag;
        std::vector<std::string> pieces;
        std::size_t expected;
    };
    const std::string ehlo = "250-mx greets\r\n250-SIZE 10\r\n250 HELP\r\n";
    const std::string list = "+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n";
    const std::string fetch = "* 1 FETCH (BODY[] {17}\r\na1 OK fake\r\n.\r\n)\r\na1 OK done\r\n";
    const Case cases[] = {
        {"smtp one line", ReplyKind::SmtpReply, "", {"250 ok\r\nrest"}, 8},
        {"smtp multi-line in pieces", ReplyKind::SmtpReply, "", {"250-mx gre", "ets\r\n250-SIZE 10\r\n", "250 HELP\r\n"},
         ehlo.size()},
        {"smtp continuation not final", ReplyKind::SmtpReply, "", {"250-mx\r\n250-SIZE\r\n"}, kIncomplete},
        {"smtp bare code", ReplyKind::SmtpReply, "", {"250\r\n"}, 5},
        {"pop3 list waits for the dot", ReplyKind::Pop3Multi, "", {"+OK 2 messages\r\n1 120\r\n"}, kIncomplete},
        {"pop3 list", ReplyKind::Pop3Multi, "", {"+OK 2 messages\r\n1 1", "20\r\n2 200\r\n.", "\r\n"}, list.size()},
        {"pop3 -ERR to a list is one line", ReplyKind::Pop3Multi, "", {"-ERR no such message\r\n"}, 22},
        {"pop3 single", ReplyKind::Pop3Single, "", {"+OK\r\n1 2\r\n"}, 5},
        {"pop3 -err body line does not end a mail", ReplyKind::Pop3Multi, "", {"+OK\r\n-ERR x\r\n.\r\n"}, 16},
        {"imap literal holds a fake tagged line", ReplyKind::ImapTagged, "a1 ", {fetch}, fetch.size()},
        {"imap literal split", ReplyKind::ImapTagged, "a1 ", {fetch.substr(0, 30), fetch.substr(30)}, fetch.size()},
        {"imap continuation", ReplyKind::ImapCommand, "a2 ", {"+ go ahead\r\n"}, 12},
        {"imap untagged then tagged", ReplyKind::ImapCommand, "a3 ", {"* OK x\r\na3 OK y\r\n"}, 17},
        {"ftp multi-line", ReplyKind::FtpReply, "", {"220-hello\r\n    220 inside\r\n220 done\r\n"}, 37},
        {"ftp one line", ReplyKind::FtpReply, "", {"331 pw\r\n"}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Complete(ReplyScanner(c.kind, c.tag), c.pieces), c.expected);
    }
}

TEST(ReplyCompletion, Pop3MultiLineCommandsAndImapClientLiterals) {
    EXPECT_TRUE(Pop3AnswerIsMultiLine("LIST"));
    EXPECT_TRUE(Pop3AnswerIsMultiLine("capa"));
    EXPECT_TRUE(Pop3AnswerIsMultiLine("RETR 1"));
    EXPECT_FALSE(Pop3AnswerIsMultiLine("LIST 1"));
    EXPECT_FALSE(Pop3AnswerIsMultiLine("UIDL 3"));
    EXPECT_FALSE(Pop3AnswerIsMultiLine("STAT"));
    EXPECT_TRUE(Pop3AnswerIsMultiLine("AUTH"));
    EXPECT_TRUE(Pop3AnswerIsMultiLine("TOP 1 5"));
    EXPECT_FALSE(Pop3AnswerIsMultiLine("AUTH PLAIN"));

    ImapCommandScanner sync;
    EXPECT_EQ(sync.Scan("a LOGIN {4}\r\n"), 13u);  // waits for the server's "+"
    EXPECT_EQ(sync.owed(), 4u);
    ImapCommandScanner rest(4);
    EXPECT_EQ(rest.Scan("us\r\n"), kIncomplete);
    EXPECT_EQ(ImapCommandScanner(4).Scan("us\r\n pass\r\n"), 11u);
    ImapCommandScanner plus;
    EXPECT_EQ(plus.Scan("a APPEND x {3+}\r\nab\n more\r\n"), 27u);
    EXPECT_EQ(plus.owed(), 0u);
}

}  // namespace
}  // namespace engine
