// The mail relay's text rules: the rewrites of server answers, the
// retrieval answers, the alert mail and the envelope's address.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include <string>

#include "engine/mail/alert_mail.h"
#include "engine/mail/mail_spool.h"
#include "engine/mail/reply_rewrite.h"
#include "engine/mail/retrieval_relay.h"
#include "engine/mail/retrieval_spool.h"

namespace engine {
namespace {

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

// The POP3 answer as sent from its spool file: the TOP form's cut and the
// octet count of what is sent.
TEST(RetrievalSpool, Pop3AnswerAsSentFromItsFile) {
    const std::string mail = "+OK 99 octets\r\nSubject: s\r\nTo: t\r\n\r\nl1\r\n..l2\r\nl3\r\n.\r\n";
    char name[] = "/tmp/pop3-answer-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, mail.data(), mail.size()), static_cast<ssize_t>(mail.size()));
    auto sent = [&](long long top) {
        Pop3Extent extent;
        EXPECT_TRUE(MeasurePop3Answer(fd, mail.size(), top, extent));
        std::string body;
        ReadFileRange(fd, extent.statusEnd, extent.end - extent.statusEnd, body);
        return Pop3StatusWithOctets("+OK 99 octets\r\n", extent.octets) + body + (extent.addEnd ? ".\r\n" : "");
    };
    EXPECT_EQ(sent(2), "+OK 30 octets\r\nSubject: s\r\nTo: t\r\n\r\nl1\r\n..l2\r\n.\r\n");
    EXPECT_EQ(sent(0), "+OK 21 octets\r\nSubject: s\r\nTo: t\r\n\r\n.\r\n");
    EXPECT_EQ(sent(10), "+OK 34 octets\r\nSubject: s\r\nTo: t\r\n\r\nl1\r\n..l2\r\nl3\r\n.\r\n");  // one "." line
    EXPECT_EQ(sent(-1), sent(10));
    EXPECT_EQ(Pop3StatusWithOctets("+OK message follows\r\n", 5), "+OK message follows\r\n");
    ::close(fd);
    ::unlink(name);
}

// Where an IMAP4 answer ends and where its literals lie, fed in any pieces,
// and which FETCH items carry a mail's content.
TEST(RetrievalSpool, ImapAnswerEndLiteralsAndTheirItems) {
    const std::string answer =
        "* 1 FETCH (UID 4 BODY[HEADER] {9}\r\nSubj: x\r\n BODY[TEXT] {15}\r\na1 OK fake\r\nx\r\n)\r\n"
        "* 2 FETCH (BINARY[1] ~{2}\r\nab BODY[HEADER.FIELDS (FROM TO)] {0}\r\n)\r\na1 OK done\r\nnext";
    for (std::size_t step : {answer.size(), std::size_t{1}, std::size_t{7}}) {
        SCOPED_TRACE(step);
        RetrievalAnswerEnd end(LineProtocol::Imap4, "a1 ");
        std::size_t used = std::string::npos;
        std::size_t at = 0;
        for (; at < answer.size() && used == std::string::npos; at += step) used = end.Feed(answer.substr(at, step));
        ASSERT_NE(used, std::string::npos);
        EXPECT_EQ(at - step + used, answer.size() - 4);
        ASSERT_EQ(end.literals().size(), 4u);
        EXPECT_EQ(end.literals()[0].item, "BODY[HEADER]");
        EXPECT_EQ(answer.substr(end.literals()[1].sizeAt, 5), "{15}\r");
        EXPECT_EQ(answer.substr(end.literals()[1].offset, end.literals()[1].size), "a1 OK fake\r\nx\r\n");
        EXPECT_EQ(end.literals()[2].item, "BINARY[1]");
        EXPECT_EQ(end.literals()[3].item, "BODY[HEADER.FIELDS (FROM TO)]");
    }
    RetrievalAnswerEnd pop3(LineProtocol::Pop3, "");
    EXPECT_EQ(pop3.Feed("+OK 5\r\n.x\r\n."), std::string::npos);
    EXPECT_EQ(pop3.Feed("\r\nmore"), 2u);
    RetrievalAnswerEnd refused(LineProtocol::Pop3, "");
    EXPECT_EQ(refused.Feed("-ERR no\r\n"), 9u);

    const std::pair<const char*, FetchContent> items[] = {
        {"RFC822", FetchContent::WholeMail},       {"BODY[]", FetchContent::WholeMail},
        {"BODY[]<0>", FetchContent::WholeMail},    {"RFC822.TEXT", FetchContent::Part},
        {"BODY[TEXT]", FetchContent::Part},        {"BODY[1]", FetchContent::Part},
        {"BINARY[2]", FetchContent::Part},         {"BODY[2.TEXT]", FetchContent::Part},
        {"RFC822.HEADER", FetchContent::None},     {"BODY[HEADER]", FetchContent::None},
        {"BODY[1.MIME]", FetchContent::None},      {"BODY[HEADER.FIELDS (SUBJECT)]", FetchContent::None},
        {"\"SUBJECT\"", FetchContent::None},
    };
    for (const auto& [item, content] : items) EXPECT_EQ(FetchItemContent(item), content) << item;
}

TEST(ReplyRewrite, SafeUserNames) {
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
