// The mail-exchanger question and the reading of answers, honest and hostile.

#include "DnsMessage.h"

#include <gtest/gtest.h>

#include <string>

using namespace crashreport;

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

std::string u16(int v) { return bytes({ (v >> 8) & 0xFF, v & 0xFF }); }

std::string labels(const std::string &name)
{
    std::string out;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t dot = name.find('.', start);
        if (dot == std::string::npos)
            dot = name.size();
        out += static_cast<char>(dot - start);
        out += name.substr(start, dot - start);
        start = dot + 1;
    }
    return out + '\0';
}

// A response header and the question for vetu.example, then the records.
std::string answer(int answers, const std::string &records, int id = 0x4141, int flags = 0x8180,
    const std::string &question = labels("vetu.example") + u16(15) + u16(1))
{
    return u16(id) + u16(flags) + u16(1) + u16(answers) + u16(0) + u16(0) + question + records;
}

// An MX record whose owner points at the question's name (offset 12).
std::string mxRecord(const std::string &exchangeName, int preference = 10)
{
    const std::string data = u16(preference) + exchangeName;
    return bytes({ 0xC0, 12 }) + u16(15) + u16(1) + u16(0) + u16(300) + u16(int(data.size())) + data;
}

TEST(DnsMessage, QueryBytes)
{
    const std::string expected = bytes({ 0x41, 0x41, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 4,
        'v', 'e', 't', 'u', 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 0x00, 0x00, 0x0F, 0x00, 0x01 });
    EXPECT_EQ(BuildMxQuery("vetu.example"), expected);
    EXPECT_EQ(BuildMxQuery("vetu.example."), expected);
    EXPECT_EQ(BuildMxQuery("localhost"), bytes({ 0x41, 0x41, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 9 }) + "localhost"
            + bytes({ 0, 0, 0x0F, 0, 1 }));
}

TEST(DnsMessage, DomainsNoQueryCanHold)
{
    for (const std::string &domain : { std::string(), std::string("."), std::string("a..b"),
             std::string(".a"), std::string(64, 'x') + ".com", std::string(254, 'x') })
        EXPECT_FALSE(BuildMxQuery(domain).has_value()) << domain;
    EXPECT_TRUE(BuildMxQuery(std::string(63, 'x') + ".com").has_value());
}

TEST(DnsMessage, DomainOfAnAddress)
{
    EXPECT_EQ(MailDomain("support@vetu.example"), "vetu.example");
    EXPECT_EQ(MailDomain("a@b@c.example"), "b@c.example");
    EXPECT_EQ(MailDomain("vetu.example"), "vetu.example"); // no at sign: the whole text
    EXPECT_EQ(MailDomain("user@"), "");
}

TEST(DnsMessage, ExchangeOfTheFirstMxRecord)
{
    // A CNAME first, then two MX records: the first MX wins whatever its preference.
    const std::string cname = bytes({ 0xC0, 12 }) + u16(5) + u16(1) + u16(0) + u16(60) + u16(2) + bytes({ 0xC0, 12 });
    const std::string packet
        = answer(3, cname + mxRecord(labels("mx2.vetu.example"), 20) + mxRecord(labels("mx1.vetu.example"), 5));
    EXPECT_EQ(ParseMxAnswer(packet, "vetu.example"), "mx2.vetu.example");
    EXPECT_EQ(ParseMxAnswer(packet, "VETU.Example"), "mx2.vetu.example");
}

TEST(DnsMessage, CompressedExchangeName)
{
    // "mail" followed by a pointer to the question's name.
    const std::string packet = answer(1, mxRecord(bytes({ 4, 'm', 'a', 'i', 'l', 0xC0, 12 })));
    EXPECT_EQ(ParseMxAnswer(packet, "vetu.example"), "mail.vetu.example");
    // A pointer to a pointer to a name.
    // "mx", then a pointer to the record's owner (offset 30), itself a pointer to the question.
    const std::string chain = answer(1, mxRecord(bytes({ 2, 'm', 'x', 0xC0, 30 })));
    EXPECT_EQ(ParseMxAnswer(chain, "vetu.example"), "mx.vetu.example");
}

TEST(DnsMessage, AnswersThatAreNotTaken)
{
    const std::string good = mxRecord(labels("mx.vetu.example"));
    const std::string question = labels("vetu.example") + u16(15) + u16(1);
    struct Case {
        const char *what;
        std::string packet;
    };
    const Case cases[] = {
        { "wrong identifier", answer(1, good, 0x4142) },
        { "a query, not a response", answer(1, good, 0x4141, 0x0100) },
        { "another name asked", answer(1, good, 0x4141, 0x8180, labels("other.example") + u16(15) + u16(1)) },
        { "another type asked", answer(1, good, 0x4141, 0x8180, labels("vetu.example") + u16(1) + u16(1)) },
        { "no answer records", answer(0, "") },
        { "empty packet", "" },
        { "header only", answer(1, good).substr(0, 12) },
        { "question cut", answer(1, good).substr(0, 20) },
        { "record header cut", answer(1, good).substr(0, 12 + question.size() + 6) },
        { "record data longer than the packet", answer(1, good).substr(0, answer(1, good).size() - 3) },
        { "answer count larger than the records", answer(2, bytes({ 0xC0, 12 }) + u16(5) + u16(1) + u16(0) + u16(1)
                                                           + u16(2) + bytes({ 0xC0, 12 })) },
        { "compression loop", answer(1, mxRecord(bytes({ 0xC0, 12 + int(question.size()) + 12 + 2 }))) },
        { "a label and a pointer in a loop", answer(1, mxRecord(bytes({ 1, 'a', 0xC0, 12 + int(question.size()) + 12 + 2 }))) },
        { "pointer outside the packet", answer(1, mxRecord(bytes({ 0xFF, 0xFF }))) },
        { "pointer cut in half", answer(1, bytes({ 0xC0 })) },
        { "label past the end",
            answer(1, bytes({ 0xC0, 12 }) + u16(15) + u16(1) + u16(0) + u16(1) + u16(4) + u16(1) + bytes({ 60, 'a' })) },
        { "reserved label kind", answer(1, mxRecord(bytes({ 0x41, 'a', 0 }))) },
        { "root exchange (no mail)", answer(1, mxRecord(bytes({ 0 }))) },
        { "control characters in the name", answer(1, mxRecord(labels("mx\r\n.vetu.example"))) },
        { "MX data too short", answer(1, bytes({ 0xC0, 12 }) + u16(15) + u16(1) + u16(0) + u16(1) + u16(2) + u16(10)) },
        { "exchange name running out of its record", answer(1, bytes({ 0xC0, 12 }) + u16(15) + u16(1) + u16(0) + u16(1)
                                                          + u16(4) + u16(10) + labels("mx.example")) },
    };
    for (const Case &c : cases)
        EXPECT_FALSE(ParseMxAnswer(c.packet, "vetu.example").has_value()) << c.what;
}

TEST(DnsMessage, OverlongNameThroughPointers)
{
    // 63-byte labels chained by pointers back to themselves would grow without end.
    std::string records = bytes({ 0xC0, 12 }) + u16(15) + u16(1) + u16(0) + u16(1);
    const std::string base = answer(1, "");
    const int start = int(base.size() + records.size() + 2 + 2);
    std::string name;
    name += static_cast<char>(63);
    name += std::string(63, 'a');
    name += bytes({ 0xC0 | (start >> 8), start & 0xFF });
    records += u16(int(name.size()) + 2) + u16(10) + name;
    EXPECT_FALSE(ParseMxAnswer(base + records, "vetu.example").has_value());
}

} // namespace
