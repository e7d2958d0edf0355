// The mail message byte for byte. The expected texts are written by hand
// from the layout rules, not produced by the code under test.

#include "MailMessage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace crashreport;

namespace {

MailMessageParts sampleParts()
{
    MailMessageParts parts;
    parts.date = { 2026, 12, 10, 4, 4, 43, 31, 60 };
    parts.senderHeader = "\"Ada Meter\" <ada@vetu.example>";
    parts.subject = "Vetu crash";
    parts.recipient = "support@vetu.example";
    parts.messageTick = 123456;
    parts.body = "Hello\r\n.hidden dot";
    // 4 bytes: "AAEC/w==" in base64.
    parts.attachments = { { "BugReport.zip", std::string("\x00\x01\x02\xff", 4) } };
    return parts;
}

TEST(MailMessage, WholeMessageWithOneAttachment)
{
    const std::string expected = "Date: Thu, 10 Dec 2026 04:43:31 +0100\r\n"
                                 "From: \"Ada Meter\" <ada@vetu.example>\r\n"
                                 "Subject: Vetu crash\r\n"
                                 "To: <support@vetu.example>\r\n"
                                 "Content-Type: multipart/mixed; boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";\r\n"
                                 "MIME-Version: 1.0\r\n"
                                 "Message-ID: <123456@crashreport.invalid>\r\n"
                                 "\r\n"
                                 "This is a multi-part message in MIME format\r\n"
                                 "\r\n"
                                 "--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
                                 "Content-Type: text/plain\r\n"
                                 "Content-Transfer-Encoding: 7bit\r\n"
                                 "\r\n"
                                 "Hello\r\n"
                                 ".hidden dot\r\n"
                                 "--=_xcjvnxkbhvfkxzhfdbvzldjhfv\r\n"
                                 "Content-Type: application/octet-stream;\r\n"
                                 "        name=\"BugReport.zip\"\r\n"
                                 "Content-Transfer-Encoding: base64\r\n"
                                 "Content-Disposition: attachment;\r\n"
                                 "        filename=\"BugReport.zip\"\r\n"
                                 "\r\n"
                                 "AAEC/w==\r\n"
                                 "\r\n"
                                 "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n";
    EXPECT_EQ(BuildMailMessage(sampleParts()), expected);

    // On the wire: the dotted line doubled, then the lone "." that ends DATA.
    const std::string payload = MailDataPayload(expected);
    EXPECT_NE(payload.find("\r\nHello\r\n..hidden dot\r\n--=_"), std::string::npos);
    const std::string tail = "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n.\r\n";
    EXPECT_EQ(payload.substr(payload.size() - tail.size()), tail);
    EXPECT_EQ(payload.size(), expected.size() + 1 + 3);
}

TEST(MailMessage, NoAttachmentStillClosesOnALineOfItsOwn)
{
    MailMessageParts parts = sampleParts();
    parts.attachments.clear();
    parts.body = "no break at the end";
    const std::string message = BuildMailMessage(parts);
    EXPECT_NE(message.find("\r\n\r\nno break at the end\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n"), std::string::npos);
}

TEST(MailMessage, Base64LinesOfEightyCharacters)
{
    // Three bytes "AAA" are "QUFB" in base64; each case: file data, the block after the part's empty line.
    auto encodedA = [](std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n / 3; ++i)
            out += "QUFB";
        return out;
    };
    const std::string line80 = encodedA(60);
    const std::string cases[][2] = {
        { "", "\r\n" }, // empty file: no base64 line at all
        { std::string(60, 'A'), line80 + "\r\n\r\n" },
        { std::string(120, 'A'), line80 + "\r\n" + line80 + "\r\n\r\n" }, // 160 characters: two full lines
        { std::string(123, 'A'), line80 + "\r\n" + line80 + "\r\nQUFB\r\n\r\n" },
    };
    for (const auto &c : cases) {
        MailMessageParts parts = sampleParts();
        parts.attachments = { { "data.bin", c[0] } };
        const std::string message = BuildMailMessage(parts);
        const std::string head = "filename=\"data.bin\"\r\n\r\n";
        const std::size_t start = message.find(head);
        ASSERT_NE(start, std::string::npos);
        const std::string rest = message.substr(start + head.size());
        EXPECT_EQ(rest, c[1] + "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n") << c[0].size() << " bytes";
    }
}

TEST(MailMessage, ContentTypeByExtension)
{
    const std::pair<const char *, const char *> cases[] = {
        { "Screenshot.png", "image/png" },
        { "SHOT.PNG", "image/png" },
        { "shot.Png", "image/png" },
        { "png", "application/octet-stream" },
        { "BugReport.zip", "application/octet-stream" },
        { "file.png.txt", "application/octet-stream" },
        { ".png", "image/png" },
    };
    for (const auto &[name, type] : cases)
        EXPECT_EQ(AttachmentContentType(name), type) << name;
}

TEST(MailMessage, TextPartDeclaresUtf8WhenNeeded)
{
    MailMessageParts parts = sampleParts();
    parts.body = "Gr\xc3\xbc\xc3\x9f" "e";
    const std::string message = BuildMailMessage(parts);
    EXPECT_NE(message.find("Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                           "Gr\xc3\xbc\xc3\x9f" "e\r\n"),
        std::string::npos);
    EXPECT_EQ(message.find("7bit"), std::string::npos);
}

TEST(MailMessage, DateForm)
{
    struct Case {
        MailDateTime date;
        const char *text;
    };
    const Case cases[] = {
        { { 2026, 12, 10, 4, 4, 43, 31, 0 }, "Thu, 10 Dec 2026 04:43:31 +0000" },
        { { 2024, 1, 7, 0, 0, 0, 5, -300 }, "Sun, 7 Jan 2024 00:00:05 -0500" },
        { { 2024, 7, 13, 6, 23, 9, 0, 120 }, "Sat, 13 Jul 2024 23:09:00 +0200" },
        { { 2025, 3, 31, 1, 12, 0, 0, 330 }, "Mon, 31 Mar 2025 12:00:00 +0530" }, // half-hour zone
        { { 2025, 3, 31, 1, 12, 0, 0, -570 }, "Mon, 31 Mar 2025 12:00:00 -0930" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatMailDate(c.date), c.text);
}

TEST(MailMessage, LocalDateTimeCarriesTheZoneOffset)
{
    const char *old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Asia/Kolkata", 1);
    tzset();
    // 2024-02-29 18:30:00 UTC is midnight in India.
    const MailDateTime date = LocalMailDateTime(1709231400);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(FormatMailDate(date), "Fri, 1 Mar 2024 00:00:00 +0530");
}

TEST(MailMessage, SenderHeaderAndEnvelope)
{
    struct Case {
        const char *mailFrom;
        const char *header;
        const char *envelope;
    };
    const Case cases[] = {
        { "ada@vetu.example", "\"Ada Meter\" <ada@vetu.example>", "ada@vetu.example" },
        { "\"Lab\" <lab@vetu.example>", "\"Lab\" <lab@vetu.example>", "lab@vetu.example" },
        { "<bare@vetu.example>", "<bare@vetu.example>", "<bare@vetu.example>" },
        { "Lab \"x\"", "Lab \"x\"", "Lab \"x\"" },
        { "evil@x\r\nBcc: all@x", "\"Ada Meter\" <evil@x Bcc: all@x>", "evil@x Bcc: all@x" },
    };
    for (const Case &c : cases) {
        const std::string header = SenderHeader(c.mailFrom, "Ada Meter");
        EXPECT_EQ(header, c.header);
        EXPECT_EQ(EnvelopeSender(header), c.envelope);
    }
}

TEST(MailMessage, NoHeaderCarriesALineBreak)
{
    MailMessageParts parts = sampleParts();
    parts.subject = "crash\r\nBcc: everyone@example.com";
    parts.recipient = "a@b\n\nRCPT";
    parts.senderHeader = "\"x\"\r <y@z>";
    parts.attachments = { { "a\r\nContent-Type: text/html\r\n.zip", "x" } };
    const std::string message = BuildMailMessage(parts);
    EXPECT_NE(message.find("Subject: crash Bcc: everyone@example.com\r\n"), std::string::npos);
    EXPECT_NE(message.find("To: <a@b RCPT>\r\n"), std::string::npos);
    EXPECT_NE(message.find("From: \"x\"  <y@z>\r\n"), std::string::npos);
    EXPECT_NE(message.find("name=\"a Content-Type: text/html .zip\"\r\n"), std::string::npos);
    EXPECT_EQ(message.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(CleanHeaderValue("a\t\x01\x7f" "b\x1b"), "a b ");
}

TEST(MailMessage, DataPayloadTransparencyAndLineBreaks)
{
    const std::pair<std::string, std::string> cases[] = {
        { "", ".\r\n" },
        { "a\r\n", "a\r\n.\r\n" },
        { ".\r\n", "..\r\n.\r\n" },
        { "x\r\n.\r\ny", "x\r\n..\r\ny\r\n.\r\n" },
        // A lone LF or CR would let "\n.\n" end the message early on some servers.
        { "x\n.\ny\rz", "x\r\n..\r\ny\r\nz\r\n.\r\n" },
        { "..two", "...two\r\n.\r\n" },
        { "mid.dot", "mid.dot\r\n.\r\n" },
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(MailDataPayload(in), out) << in;
}

} // namespace
