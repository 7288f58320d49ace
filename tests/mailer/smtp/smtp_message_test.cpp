#include "mailer/smtp/smtp_message.h"

#include <gtest/gtest.h>

#include "file_bytes.h"
#include "mail_oracle.h"
#include "mailer/smtp/socket_io.h"
#include "temp_home.h"

namespace wardlet::smtp {
namespace {

using test::Hex;
using test::ParseMail;

// A message at a fixed moment: Thursday 5 January 2012, 09:03:07, one hour east of UTC.
CSmtpMessage FixedMessage() {
    CSmtpMessage m;
    m.timestamp = SmtpTimestamp{2012, 1, 4, 5, 9, 3, 7, 0};
    m.utcOffset = 100;
    m.sender = CSmtpAddress("me@example.org", "Wardlet");
    m.recipient = CSmtpAddress("you@example.org", "you@example.org");
    m.subject = "Wardlet Email Notification";
    return m;
}

CSmtpMessageBody TextBody(const std::string& text) {
    return CSmtpMessageBody(text, "text/plain", "iso-8859-1", kEncodingAuto);
}

std::string Composed(CSmtpMessage& m) {
    std::string out;
    m.Compose(out);
    return out;
}

TEST(MessageHeaders, ToFromAndDateValues) {
    CSmtpMessage m = FixedMessage();
    m.recipient = CSmtpAddress("ann@x.org", "Ann");
    m.AddCcRecipient(CSmtpAddress("bob@x.org"));
    m.sender = CSmtpAddress("me@x.org");
    m.ComposeHeaders();
    EXPECT_EQ(*m.headers.Find("To"), "\"Ann\" <ann@x.org>,\r\n\t<bob@x.org>");
    EXPECT_EQ(*m.headers.Find("From"), "<me@x.org>");
    EXPECT_EQ(*m.headers.Find("Date"), "Thu, 5 Jan 2012 09:03:07 +0100");

    CSmtpMessage noFirst = FixedMessage();
    noFirst.recipient = CSmtpAddress();
    noFirst.AddCcRecipient(CSmtpAddress("c1@x.org", "C One"));
    noFirst.AddCcRecipient(CSmtpAddress("c2@x.org"));
    noFirst.ComposeHeaders();
    EXPECT_EQ(*noFirst.headers.Find("To"), "\"C One\" <c1@x.org>,\r\n\t<c2@x.org>");

    // A machine on UTC writes +0000; -0000 would mean "zone unknown".
    EXPECT_EQ(FormatDateHeader(m.timestamp, 0), "Thu, 5 Jan 2012 09:03:07 +0000");
    EXPECT_EQ(FormatDateHeader(m.timestamp, -500), "Thu, 5 Jan 2012 09:03:07 -0500");
    EXPECT_EQ(FormatDateHeader(m.timestamp, 1000), "Thu, 5 Jan 2012 09:03:07 +1000");
    EXPECT_EQ(FormatDateHeader(m.timestamp, -930), "Thu, 5 Jan 2012 09:03:07 -0930");

    EXPECT_EQ(UtcOffsetFromSeconds(3600), 100);
    EXPECT_EQ(UtcOffsetFromSeconds(-5 * 3600), -500);
    EXPECT_EQ(UtcOffsetFromSeconds(5 * 3600 + 1800), 530);
    EXPECT_EQ(UtcOffsetFromSeconds(-(9 * 3600 + 1800)), -930);
    EXPECT_EQ(UtcOffsetFromSeconds(0), 0);
}

TEST(MessageHeaders, OrderOfANewMessageAndOfOneComposedTwice) {
    CSmtpMessage m = FixedMessage();
    m.messageId = "42@example.org";
    m.AddBody(TextBody("a\r\n"));
    m.AddBody(TextBody("b\r\n"));
    auto facts = ParseMail(Composed(m));
    EXPECT_EQ(facts["order"],
              "From,To,Subject,Date,Importance,X-Mailer,X-MSMail-Priority,X-Priority,Message-ID,"
              "MIME-Version,Content-Type");
    EXPECT_EQ(facts["header.Message-ID"], "<42@example.org>");
    EXPECT_EQ(facts["header.X-Mailer"], "Wardpost");
    EXPECT_EQ(facts["date"], "2012-01-05T09:03:07+01:00");  // a valid RFC 5322 date

    // The second time the priority fields stay where they were and the rest moves behind them.
    facts = ParseMail(Composed(m));
    EXPECT_EQ(facts["order"],
              "From,To,Subject,Date,Message-ID,MIME-Version,Content-Type,Importance,X-Mailer,"
              "X-MSMail-Priority,X-Priority");
    EXPECT_EQ(facts["defects"], "0");
}

TEST(MessageShapes, OneBodyOrNothing) {
    CSmtpMessage m = FixedMessage();
    m.AddBody(TextBody("Line one\r\n.\r\nLine three\r\n"));
    std::string text = Composed(m);
    EXPECT_EQ(text.find("multipart"), std::string::npos);
    EXPECT_NE(text.find("Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n"
                        "Content-Transfer-Encoding: 7bit\r\n\r\nLine one\r\n..\r\nLine three\r\n"),
              std::string::npos);
    auto facts = ParseMail(text);
    EXPECT_EQ(facts["part[].type"], "text/plain");
    EXPECT_EQ(facts["part[].charset"], "iso-8859-1");
    EXPECT_EQ(facts["from"], "Wardlet|me@example.org");
    EXPECT_EQ(facts["to"], "you@example.org|you@example.org");
    EXPECT_EQ(facts["header.Subject"], "Wardlet Email Notification");
    EXPECT_EQ(m.headers.Find("Content-Type"), nullptr);

    CSmtpMessage empty = FixedMessage();
    std::string headersOnly = Composed(empty);
    EXPECT_EQ(headersOnly.substr(headersOnly.size() - 19), "MIME-Version: 1.0\r\n");
    EXPECT_EQ(headersOnly.find("\r\n\r\n"), std::string::npos);
}

TEST(MessageShapes, SeveralBodiesAreAlternativesOrRelated) {
    CSmtpMessage m = FixedMessage();
    m.AddBody(TextBody("plain\r\n"));
    m.AddBody(CSmtpMessageBody("<p>html</p>\r\n", "text/html", "iso-8859-1", kEncodingAuto));
    auto facts = ParseMail(Composed(m));
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part[].type"], "multipart/alternative");
    EXPECT_EQ(facts["part[].boundary"].rfind("CSmtpMsgPart123X456_000_", 0), 0u);
    EXPECT_EQ(facts["part[].children"], "2");
    EXPECT_EQ(facts["part[0].payload"], Hex("plain\r\n"));
    EXPECT_EQ(facts["part[1].type"], "text/html");
    EXPECT_EQ(facts["part[1].payload"], Hex("<p>html</p>\r\n"));
    EXPECT_EQ(m.multipartType, kMultipartAlternative);

    CSmtpMessage related = FixedMessage();
    related.multipartType = kMultipartRelated;
    related.AddBody(TextBody("one\r\n"));
    related.AddBody(TextBody("two\r\n"));
    EXPECT_EQ(ParseMail(Composed(related))["part[].type"], "multipart/related");
}

class AttachmentTest : public ::testing::Test {
protected:
    std::string File(const std::string& name, const std::string& bytes) {
        auto path = dir_.path() / name;
        test::WriteBytes(path, bytes);
        return path.string();
    }
    test::TempDir dir_;
};

TEST_F(AttachmentTest, OneBodyWithAttachmentsIsMixed) {
    std::string binary("\x00\x01\xFF\xFE binary \r\n.\r\n", 16);
    CSmtpMessage m = FixedMessage();
    m.AddBody(TextBody("See the files.\r\n"));
    m.AddAttachment(CSmtpAttachment(File("archive.tar.gz", binary)));
    m.AddAttachment(CSmtpAttachment(File("notes.txt", "caf\xE9\r\n"), "Shown Name.TXT", 1));
    m.AddAttachment(CSmtpAttachment(File("data.bin", "x"), "", 0, "application/x-wardlet"));
    auto facts = ParseMail(Composed(m));
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part[].type"], "multipart/mixed");
    EXPECT_EQ(facts["part[].children"], "4");
    EXPECT_EQ(facts["part[0].payload"], Hex("See the files.\r\n"));

    // Looked up under ".tar.gz", which has no entry, not under ".gz" (application/gzip).
    EXPECT_EQ(facts["part[1].type"], "application/octet-stream");
    EXPECT_EQ(facts["part[1].filename"], "archive.tar.gz");
    EXPECT_EQ(facts["part[1].name"], "archive.tar.gz");
    EXPECT_EQ(facts["part[1].cte"], "base64");
    EXPECT_EQ(facts["part[1].disposition"], "attachment");
    EXPECT_EQ(facts["part[1].payload"], Hex(binary));

    // The display name replaces the file name in both places and picks the type (any case).
    EXPECT_EQ(facts["part[2].type"], "text/plain");
    EXPECT_EQ(facts["part[2].charset"], "iso-8859-1");
    EXPECT_EQ(facts["part[2].filename"], "Shown Name.TXT");
    EXPECT_EQ(facts["part[2].name"], "Shown Name.TXT");
    EXPECT_EQ(facts["part[2].disposition"], "inline");
    EXPECT_EQ(facts["part[2].payload"], Hex("caf\xE9\r\n"));

    EXPECT_EQ(facts["part[3].type"], "application/x-wardlet");
}

TEST_F(AttachmentTest, BodiesAndAttachmentsNestAnAlternative) {
    CSmtpMessage m = FixedMessage();
    m.AddBody(TextBody("plain\r\n"));
    m.AddBody(CSmtpMessageBody("<b>rich</b>\r\n", "text/html", "iso-8859-1", kEncodingAuto));
    CSmtpAttachment report(File("report.pdf", "%PDF-1.4\n"));
    report.contentId = "report-1";
    m.AddAttachment(report);
    auto facts = ParseMail(Composed(m));
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part[].type"], "multipart/mixed");
    EXPECT_EQ(facts["part[].children"], "2");
    EXPECT_EQ(facts["part[0].type"], "multipart/alternative");
    EXPECT_EQ(facts["part[0].boundary"].rfind("CSmtpMsgPart123X456_001_", 0), 0u);
    EXPECT_EQ(facts["part[0].children"], "2");
    EXPECT_EQ(facts["part[0.0].payload"], Hex("plain\r\n"));
    EXPECT_EQ(facts["part[0.1].type"], "text/html");
    EXPECT_EQ(facts["part[1].type"], "application/pdf");
    EXPECT_EQ(facts["part[1].content-id"], "<report-1>");
    EXPECT_EQ(facts["part[1].payload"], Hex("%PDF-1.4\n"));
}

TEST_F(AttachmentTest, AnUnreadableFileIsLeftOutAndTheRestComposed) {
    CSmtpMessage m = FixedMessage();
    m.AddBody(TextBody("body\r\n"));
    m.AddAttachment(CSmtpAttachment((dir_.path() / "missing.txt").string()));
    auto facts = ParseMail(Composed(m));
    EXPECT_EQ(facts["part[].type"], "multipart/mixed");  // counted before the file was tried
    EXPECT_EQ(facts["part[].children"], "1");
    EXPECT_EQ(facts["part[0].payload"], Hex("body\r\n"));
}

}  // namespace
}  // namespace wardlet::smtp

namespace wardlet::smtp {
namespace {

// Today's mail clients read what the library writes: no defect anywhere, 8-bit texts back
// exactly, every line ended CR LF.
TEST(ClientReadable, EightBitSubjectNamesAndBodyReadBackExactly) {
    const std::string name =
        "Preis\xC3\xBC"
        "bersicht \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC";
    CSmtpMessage m = FixedMessage();
    // Long enough for several encoded words, which must not split a character.
    m.subject = "\xC3\x84nderung: " + name + " / " + name + " / " + name;
    m.sender = CSmtpAddress("me@example.org", "Wardlet \"Monitor\" \\ 2");
    m.recipient = CSmtpAddress("you@example.org", "J\xC3\xBCrgen");
    // An entry with a lone LF and a CR CR LF between two plain ones.
    const std::string plain =
        "2012/01/05 [09:03:07] Changed: Price list\r\nhttps://example.org/prices\r\n\r\n";
    std::string body =
        plain + "2012/01/05 [09:03:07] Changed: " + name + "\nhttps://example.org/\r\r\n" + plain;
    const std::string bodyRead = plain + "2012/01/05 [09:03:07] Changed: " + name +
                                 "\r\nhttps://example.org/\r\n\r\n" + plain;
    m.AddBody(CSmtpMessageBody(body, "text/plain", TextCharset(body), kEncodingAuto));
    std::string text = Composed(m);

    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
        }
        if (text[i] == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
        }
    }
    size_t lineStart = 0;
    for (size_t end; (end = text.find("\r\n", lineStart)) != std::string::npos; lineStart = end + 2)
        EXPECT_LE(end - lineStart, 78u) << text.substr(lineStart, end - lineStart);

    auto facts = test::ParseMailAsClientsDo(text);
    EXPECT_EQ(facts["defects"], "0") << facts["defect-list"];
    EXPECT_EQ(facts["subject"], m.subject);
    EXPECT_EQ(facts["from"], "\"Wardlet \\\"Monitor\\\" \\\\ 2\" <me@example.org>");
    EXPECT_EQ(facts["to"], "J\xC3\xBCrgen <you@example.org>");
    EXPECT_EQ(facts["body-charset"], "utf-8");
    EXPECT_EQ(facts["body-cte"], "8bit");
    EXPECT_EQ(facts["body"], bodyRead);
    EXPECT_EQ(facts["date"], "Thu, 05 Jan 2012 09:03:07 +0100");

    // Every message carries a Message-ID naming this host, kept when composed again.
    std::string id = facts["message-id"];
    EXPECT_EQ(id.front(), '<');
    EXPECT_NE(id.find("@" + ComputerName() + ">"), std::string::npos) << id;
    EXPECT_EQ(test::ParseMailAsClientsDo(Composed(m))["message-id"], id);
    CSmtpMessage other = FixedMessage();
    Composed(other);
    EXPECT_NE(other.messageId, m.messageId);
}

TEST_F(AttachmentTest, LineEndsOfTextFilesBecomeCrLfAndOfOtherFilesStayExact) {
    CSmtpMessage m = FixedMessage();
    m.AddBody(TextBody("see files\r\n"));
    m.AddAttachment(CSmtpAttachment(File("notes.txt", "one\ntwo\n")));
    m.AddAttachment(CSmtpAttachment(File("data.bin", "a\nb\rc")));
    std::string text = Composed(m);
    auto facts = ParseMail(text);
    EXPECT_EQ(facts["defects"], "0");
    EXPECT_EQ(facts["part[1].type"], "text/plain");
    EXPECT_EQ(facts["part[1].payload"], Hex("one\r\ntwo\r\n"));
    EXPECT_EQ(facts["part[2].cte"], "base64");
    EXPECT_EQ(facts["part[2].payload"], Hex("a\nb\rc"));
    EXPECT_EQ(test::ParseMailAsClientsDo(text)["defects"], "0");
}

}  // namespace
}  // namespace wardlet::smtp
