// The mail relay's text rules: when a reply is complete, the rewrites of
// server answers, the alert mail and the envelope's address.
#include <gtest/gtest.h>

#include <string>

#include "engine/mail/alert_mail.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/reply_completion.h"
#include "engine/mail/reply_rewrite.h"

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

TEST(ReplyRewrite, EhloAnswerLosesPipeliningAndChunkingAndShowsStartTlsOnlyWhenOffered) {
    const std::string server = "250-mx\r\n250-PIPELINING\r\n250-STARTTLS\r\n250 CHUNKING\r\n";
    EXPECT_EQ(RewriteEhloAnswer(server, false), "250 mx\r\n");
    EXPECT_EQ(RewriteEhloAnswer(server, true), "250-mx\r\n250 STARTTLS\r\n");
    EXPECT_EQ(RewriteEhloAnswer("250-mx\r\n250 8BITMIME\r\n", true), "250-mx\r\n250-8BITMIME\r\n250 STARTTLS\r\n");
    EXPECT_EQ(RewriteEhloAnswer("550 go away\r\n", true), "550 go away\r\n");
    EXPECT_EQ(RewriteCapaAnswer("+OK\r\nTOP\r\nSTLS\r\nPIPELINING\r\n.\r\n", false), "+OK\r\nTOP\r\n.\r\n");
    EXPECT_EQ(RewriteCapaAnswer("+OK\r\nTOP\r\n.\r\n", true), "+OK\r\nTOP\r\nSTLS\r\n.\r\n");
    EXPECT_EQ(RewriteImapCapabilities("* CAPABILITY IMAP4rev1 STARTTLS IDLE COMPRESS=DEFLATE UIDPLUS\r\na OK done\r\n", false),
              "* CAPABILITY IMAP4rev1 UIDPLUS\r\na OK done\r\n");
    EXPECT_EQ(RewriteImapCapabilities("* OK [CAPABILITY IMAP4rev1 LITERAL+] ready\r\n", true),
              "* OK [CAPABILITY IMAP4rev1 STARTTLS LITERAL+] ready\r\n");
}

TEST(ReplyRewrite, TopCutAndSafeUserNames) {
    const std::string mail = "+OK 99 octets\r\nSubject: s\r\nTo: t\r\n\r\nl1\r\nl2\r\nl3\r\n.\r\n";
    EXPECT_EQ(CutToTop(mail, 2), "+OK 99 octets\r\nSubject: s\r\nTo: t\r\n\r\nl1\r\nl2\r\n.\r\n");
    EXPECT_EQ(CutToTop(mail, 0), "+OK 99 octets\r\nSubject: s\r\nTo: t\r\n\r\n.\r\n");
    EXPECT_EQ(CutToTop(mail, 10), mail);  // never a second "." line
    EXPECT_EQ(SafeFileNamePart("../../etc/passwd"), "etcpasswd");
    EXPECT_EQ(SafeFileNamePart("a\\b*c?\r\n.."), "abc.");
    EXPECT_EQ(SafeFileNamePart("user@example.com"), "user@example.com");
}

TEST(AlertMail, Pop3AlertKeepsTheHeaderAndStatesTheFinding) {
    const std::string answer =
        "+OK 200 octets\r\nFrom: a@b\r\nSubject: hello\r\n  folded subject\r\nContent-Type: text/plain;\r\n"
        "\tcharset=us-ascii\r\nContent-Transfer-Encoding: base64\r\n\r\nbody line\r\n..dotted\r\n.\r\n";
    const std::string alert = BuildAlertAnswer(answer, "EICAR", LineProtocol::Pop3, false, "B");
    const std::string body =
        "From: a@b\r\nSubject: Virus alert [EICAR]\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"B\"\r\n\r\n"
        "--B\r\nContent-Type: text/plain\r\n\r\n'EICAR' was found.\r\n\r\n--B\r\nContent-Type: message/rfc822\r\n\r\n"
        "From: a@b\r\nSubject: hello\r\n  folded subject\r\nContent-Type: text/plain;\r\n\tcharset=us-ascii\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nSorry, deleted body...\r\n\r\n--B--\r\n";
    EXPECT_EQ(alert, "+OK " + std::to_string(body.size()) + " octets\r\n" + body + ".\r\n");

    // With -d the body stays, still dot-stuffed; the octet count is the
    // mail's size as the client counts it (unstuffed, without the ".").
    const std::string kept = BuildAlertAnswer(answer, "EICAR", LineProtocol::Pop3, true, "B");
    EXPECT_NE(kept.find("body line\r\n..dotted\r\n--B--\r\n.\r\n"), std::string::npos) << kept;
    const std::size_t octets = std::stoul(kept.substr(4));
    EXPECT_EQ(octets, kept.size() - kept.find("\r\n") - 2 - 3 - 1);
}

TEST(AlertMail, MissingContentTypeAndImapLiteralSize) {
    const std::string mail = "Subject: x\r\n\r\nX5O body\r\n";
    const std::string answer = "* 3 FETCH (UID 7 BODY[] {" + std::to_string(mail.size()) + "}\r\n" + mail +
                               " FLAGS (\\Seen))\r\n";
    const std::string alert = BuildAlertAnswer(answer, "F", LineProtocol::Imap4, false, "B");
    const std::size_t open = alert.find('{');
    const std::size_t lineEnd = alert.find("\r\n");
    ASSERT_NE(open, std::string::npos);
    EXPECT_EQ(alert.substr(0, open), "* 3 FETCH (UID 7 BODY[] ");
    const std::size_t size = std::stoul(alert.substr(open + 1));
    const std::string literal = alert.substr(lineEnd + 2, size);
    EXPECT_EQ(alert.substr(lineEnd + 2 + size), " FLAGS (\\Seen))\r\n");
    EXPECT_EQ(literal.rfind("Subject: Virus alert [F]\r\nContent-Type: multipart/mixed;\r\n", 0), 0u) << literal;
    EXPECT_EQ(literal.find("X5O"), std::string::npos) << literal;
}

TEST(MailSpool, AddressOfMailFromAndRcptLines) {
    EXPECT_EQ(CommandAddress("MAIL FROM:<a@b.example> SIZE=100\r\n"), "a@b.example");
    EXPECT_EQ(CommandAddress("RCPT TO: <c@d.example>\r\n"), "c@d.example");
    EXPECT_EQ(CommandAddress("mail from:plain@x\r\n"), "plain@x");
    EXPECT_EQ(CommandAddress("NOOP\r\n"), "");
}

}  // namespace
}  // namespace engine
