#pragma once
// Framing of the messages between the program and the dialog companion.
//
// A frame is a 32-bit little-endian length (of what follows), a one-byte message type and the
// payload. Frames longer than MaxDialogFrameBytes, of length 0 or of an unknown type break the
// channel: the reader stops and reports why, and the caller ends the conversation.

#include <cstddef>
#include <cstdint>
#include <string>

namespace crashreport {

inline constexpr std::uint32_t MaxDialogFrameBytes = 64u * 1024u * 1024u;

enum class TDialogMessageType : std::uint8_t {
    // program -> companion
    ShowRequest = 1,    // TCrashShowRequest
    CustomAnswer = 2,   // u8: close the dialog
    ActionAnswer = 3,   // u8: the flag after the listeners
    ProgressOpen = 4,   // u8: foreground (centred, kept in front) or background (bottom right)
    ProgressUpdate = 5, // string label, i32 position, i32 maximum
    ProgressClose = 6,
    Quit = 7,
    MessageBox = 8,    // string caption, string text, i32 icon (0 information, 1 error)
    ClipboardCopy = 9, // string text, kept on the clipboard until Quit
    // companion -> program
    Painted = 20,
    CustomButton = 21,
    ActionNotify = 22, // i32 action, u8 flag
    ShowResult = 23,   // TCrashShowResult
    Warning = 24,      // i32 code, string text
    ProgressReady = 25,
    MessageBoxClosed = 26,
    ClipboardDone = 27, // u8: the text is on the clipboard
};

bool IsKnownDialogMessageType(std::uint8_t type);

struct TDialogMessage {
    TDialogMessageType type = TDialogMessageType::Quit;
    std::string payload;
};

std::string EncodeDialogFrame(TDialogMessageType type, const std::string &payload = {});

// Collects bytes as they arrive and cuts them into messages.
class TDialogFrameReader {
public:
    void feed(const char *data, std::size_t size);
    // True and the next message when a whole frame is there.
    bool next(TDialogMessage &message);
    bool broken() const { return !m_error.empty(); }
    const std::string &error() const { return m_error; }
    // Bytes of an unfinished frame: at the end of the stream this means a truncated message.
    bool midFrame() const { return m_buffer.size() > m_offset; }

private:
    std::string m_buffer;
    std::size_t m_offset = 0;
    std::string m_error;
};

} // namespace crashreport
