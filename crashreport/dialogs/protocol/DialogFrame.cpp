#include "DialogFrame.h"

namespace crashreport {

bool IsKnownDialogMessageType(std::uint8_t type)
{
    return (type >= 1 && type <= 9) || (type >= 20 && type <= 27);
}

std::string EncodeDialogFrame(TDialogMessageType type, const std::string &payload)
{
    const std::uint32_t length = static_cast<std::uint32_t>(payload.size() + 1);
    std::string frame;
    frame.reserve(payload.size() + 5);
    for (int i = 0; i < 4; ++i)
        frame.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    frame.push_back(static_cast<char>(type));
    frame += payload;
    return frame;
}

void TDialogFrameReader::feed(const char *data, std::size_t size)
{
    if (broken())
        return;
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    m_buffer.append(data, size);
}

bool TDialogFrameReader::next(TDialogMessage &message)
{
    if (broken())
        return false;
    const std::size_t available = m_buffer.size() - m_offset;
    if (available < 4)
        return false;
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_buffer[m_offset + i])) << (8 * i);
    if (length == 0) {
        m_error = "empty message";
        return false;
    }
    if (length > MaxDialogFrameBytes) {
        m_error = "message of " + std::to_string(length) + " bytes is too long";
        return false;
    }
    if (available >= 5 && !IsKnownDialogMessageType(static_cast<std::uint8_t>(m_buffer[m_offset + 4]))) {
        m_error = "unknown message type " + std::to_string(static_cast<unsigned char>(m_buffer[m_offset + 4]));
        return false;
    }
    if (available < 4 + static_cast<std::size_t>(length))
        return false;
    message.type = static_cast<TDialogMessageType>(static_cast<std::uint8_t>(m_buffer[m_offset + 4]));
    message.payload.assign(m_buffer, m_offset + 5, length - 1);
    m_offset += 4 + static_cast<std::size_t>(length);
    if (m_offset > (1u << 20) && m_offset * 2 > m_buffer.size()) {
        m_buffer.erase(0, m_offset);
        m_offset = 0;
    }
    return true;
}

} // namespace crashreport
