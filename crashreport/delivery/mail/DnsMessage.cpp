#include "DnsMessage.h"

#include <vector>

namespace crashreport {

namespace {

constexpr std::size_t HeaderSize = 12;
constexpr std::uint16_t TypeMx = 15;
constexpr std::uint16_t ClassIn = 1;
// Far more than any honest answer needs; a loop of pointers stops here.
constexpr int MaxPointerJumps = 32;
constexpr std::size_t MaxNameLength = 255;

std::vector<std::string_view> splitLabels(std::string_view domain)
{
    std::vector<std::string_view> labels;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = domain.find('.', start);
        labels.push_back(domain.substr(start, dot == std::string_view::npos ? domain.npos : dot - start));
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return labels;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

class PacketReader {
public:
    explicit PacketReader(std::string_view packet) : m_packet(packet) { }

    bool u16(std::size_t &pos, std::uint16_t &value) const
    {
        if (pos > m_packet.size() || m_packet.size() - pos < 2)
            return false;
        value = static_cast<std::uint16_t>(byte(pos) << 8 | byte(pos + 1));
        pos += 2;
        return true;
    }

    // Reads a possibly compressed name at pos and moves pos past its
    // in-place part. Labels are joined with "."; the root name is empty.
    bool name(std::size_t &pos, std::string &out) const
    {
        out.clear();
        std::size_t cursor = pos;
        std::size_t resume = 0;
        bool jumped = false;
        int jumps = 0;
        while (true) {
            if (cursor >= m_packet.size())
                return false;
            const unsigned length = byte(cursor);
            if (length == 0) {
                ++cursor;
                break;
            }
            if ((length & 0xC0) == 0xC0) {
                if (cursor + 1 >= m_packet.size() || ++jumps > MaxPointerJumps)
                    return false;
                const std::size_t target = (length & 0x3F) << 8 | byte(cursor + 1);
                if (!jumped)
                    resume = cursor + 2;
                jumped = true;
                cursor = target;
                continue;
            }
            if (length & 0xC0) // 0x40 and 0x80 are no label kinds in use
                return false;
            if (cursor + 1 + length > m_packet.size())
                return false;
            if (!out.empty())
                out += '.';
            out.append(m_packet.substr(cursor + 1, length));
            if (out.size() > MaxNameLength)
                return false;
            cursor += 1 + length;
        }
        pos = jumped ? resume : cursor;
        return true;
    }

    std::size_t size() const { return m_packet.size(); }

private:
    unsigned byte(std::size_t pos) const { return static_cast<unsigned char>(m_packet[pos]); }
    std::string_view m_packet;
};

// An exchange name goes on to the host look-up and into error texts: only
// the characters of host names and dotted addresses.
bool usableHostName(std::string_view name)
{
    if (name.empty())
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
            || c == '.' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

std::string_view withoutFinalDot(std::string_view domain)
{
    if (!domain.empty() && domain.back() == '.')
        domain.remove_suffix(1);
    return domain;
}

} // namespace

std::string MailDomain(std::string_view address)
{
    const std::size_t at = address.find('@');
    return std::string(at == std::string_view::npos ? address : address.substr(at + 1));
}

std::optional<std::string> BuildMxQuery(std::string_view domain)
{
    domain = withoutFinalDot(domain);
    if (domain.empty() || domain.size() > 253)
        return std::nullopt;
    std::string query("\x41\x41\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", HeaderSize);
    for (std::string_view label : splitLabels(domain)) {
        if (label.empty() || label.size() > 63)
            return std::nullopt;
        query += static_cast<char>(label.size());
        query += label;
    }
    query.append("\x00\x00\x0F\x00\x01", 5);
    return query;
}

namespace {

// Reads the header and the question; pos ends after the question.
bool readResponseHead(const PacketReader &reader, std::string_view domain, std::size_t &pos, std::uint16_t &answers)
{
    pos = 0;
    std::uint16_t id = 0, flags = 0, questions = 0, authority = 0, additional = 0;
    if (!reader.u16(pos, id) || !reader.u16(pos, flags) || !reader.u16(pos, questions) || !reader.u16(pos, answers)
        || !reader.u16(pos, authority) || !reader.u16(pos, additional))
        return false;
    // Only a response to our own question counts: any datagram may reach the port.
    if (id != MxQueryId || !(flags & 0x8000) || questions != 1)
        return false;
    std::string name;
    std::uint16_t type = 0, klass = 0;
    if (!reader.name(pos, name) || !reader.u16(pos, type) || !reader.u16(pos, klass))
        return false;
    return sameName(name, withoutFinalDot(domain)) && type == TypeMx && klass == ClassIn;
}

} // namespace

bool IsMxResponse(std::string_view packet, std::string_view domain)
{
    std::size_t pos = 0;
    std::uint16_t answers = 0;
    return readResponseHead(PacketReader(packet), domain, pos, answers);
}

std::optional<std::string> ParseMxAnswer(std::string_view packet, std::string_view domain)
{
    const PacketReader reader(packet);
    std::size_t pos = 0;
    std::uint16_t answers = 0;
    if (!readResponseHead(reader, domain, pos, answers))
        return std::nullopt;
    std::string name;
    std::uint16_t type = 0, klass = 0;
    for (unsigned i = 0; i < answers; ++i) {
        std::uint16_t length = 0, ttlHigh = 0, ttlLow = 0;
        if (!reader.name(pos, name) || !reader.u16(pos, type) || !reader.u16(pos, klass)
            || !reader.u16(pos, ttlHigh) || !reader.u16(pos, ttlLow) || !reader.u16(pos, length))
            return std::nullopt;
        if (reader.size() - pos < length)
            return std::nullopt;
        const std::size_t next = pos + length;
        if (type == TypeMx && length >= 3) {
            std::size_t data = pos;
            std::uint16_t preference = 0;
            std::string exchange;
            if (reader.u16(data, preference) && reader.name(data, exchange) && data <= next
                && usableHostName(exchange))
                return exchange;
        }
        pos = next;
    }
    return std::nullopt;
}

} // namespace crashreport
