#include "DialogCodec.h"

namespace crashreport {

namespace {

class Writer {
public:
    void u8(std::uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void i32(int v) { u32(static_cast<std::uint32_t>(v)); }
    void u64(std::uint64_t v)
    {
        u32(static_cast<std::uint32_t>(v));
        u32(static_cast<std::uint32_t>(v >> 32));
    }
    void flag(bool v) { u8(v ? 1 : 0); }
    void text(const std::string &v)
    {
        u32(static_cast<std::uint32_t>(v.size()));
        m_out += v;
    }
    void rect(const TCrashShowRect &r)
    {
        i32(r.left);
        i32(r.top);
        i32(r.width);
        i32(r.height);
    }
    void texts(const std::vector<std::string> &v)
    {
        u32(static_cast<std::uint32_t>(v.size()));
        for (const auto &t : v)
            text(t);
    }
    void rows(const std::vector<TCrashShowRow> &v)
    {
        u32(static_cast<std::uint32_t>(v.size()));
        for (const auto &row : v) {
            texts(row.cells);
            u64(row.threadId);
            i32(row.kind);
        }
    }
    std::string take() { return std::move(m_out); }

private:
    std::string m_out;
};

class Reader {
public:
    explicit Reader(const std::string &in) : m_in(in) { }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_in.size(); }

    std::uint8_t u8()
    {
        if (!need(1))
            return 0;
        return static_cast<std::uint8_t>(m_in[m_at++]);
    }
    std::uint32_t u32()
    {
        if (!need(4))
            return 0;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_in[m_at++])) << (8 * i);
        return v;
    }
    int i32() { return static_cast<int>(u32()); }
    std::uint64_t u64()
    {
        const std::uint64_t low = u32();
        return low | (static_cast<std::uint64_t>(u32()) << 32);
    }
    bool flag()
    {
        const std::uint8_t v = u8();
        if (v > 1)
            m_ok = false;
        return v == 1;
    }
    std::string text()
    {
        const std::uint32_t size = u32();
        if (!need(size))
            return {};
        std::string v = m_in.substr(m_at, size);
        m_at += size;
        return v;
    }
    TCrashShowRect rect()
    {
        TCrashShowRect r;
        r.left = i32();
        r.top = i32();
        r.width = i32();
        r.height = i32();
        return r;
    }
    // A count of elements that each take at least `minBytes`: never more than what is left.
    std::uint32_t count(std::size_t minBytes)
    {
        const std::uint32_t n = u32();
        if (m_ok && n > (m_in.size() - m_at) / minBytes)
            m_ok = false;
        return m_ok ? n : 0;
    }
    std::vector<std::string> texts()
    {
        std::vector<std::string> v(count(4));
        for (auto &t : v)
            t = text();
        return v;
    }
    std::vector<TCrashShowRow> rows()
    {
        std::vector<TCrashShowRow> v(count(16));
        for (auto &row : v) {
            row.cells = texts();
            row.threadId = u64();
            row.kind = i32();
        }
        return v;
    }

private:
    bool need(std::size_t n)
    {
        if (!m_ok || m_in.size() - m_at < n) {
            m_ok = false;
            return false;
        }
        return true;
    }
    const std::string &m_in;
    std::size_t m_at = 0;
    bool m_ok = true;
};

} // namespace

std::string EncodeShowRequest(const TCrashShowRequest &r)
{
    Writer w;
    w.i32(r.dialogStyle);
    w.flag(r.beep);
    w.text(r.exceptionClass);
    w.text(r.exceptionMessage);
    w.text(r.moduleName);
    w.text(r.reportText);
    w.text(r.generalText);
    w.text(r.assemblerText);
    w.text(r.cpuText);
    w.rows(r.callStack);
    w.rows(r.modules);
    w.rows(r.processes);
    w.u32(r.dialogFlags);
    w.i32(r.terminateAction);
    w.i32(r.reportsBeforeTerminate);
    w.i32(r.dialogCloseSeconds);
    w.i32(r.firstTab);
    w.u8(r.logSections);
    w.flag(r.keepLogFile);
    w.flag(r.sendConfigured);
    w.flag(r.screenshotRequested);
    w.text(r.supportLink);
    w.texts(r.texts);
    w.i32(r.errorCount);
    w.flag(r.duplicate);
    w.u32(static_cast<std::uint32_t>(r.topLevelWindows.size()));
    for (const auto &rect : r.topLevelWindows)
        w.rect(rect);
    w.rect(r.foregroundWindow);
    w.u64(r.mainWindowId);
    w.flag(r.hasFocusRect);
    w.rect(r.focusRect);
    w.i32(r.cursorX);
    w.i32(r.cursorY);
    w.i32(r.cursorShape);
    w.flag(r.screenshotForegroundOnly);
    w.text(r.screenshotFile);
    w.text(r.settingsFile);
    w.text(r.reproduceText);
    return w.take();
}

bool DecodeShowRequest(const std::string &payload, TCrashShowRequest &r)
{
    Reader in(payload);
    r.dialogStyle = in.i32();
    r.beep = in.flag();
    r.exceptionClass = in.text();
    r.exceptionMessage = in.text();
    r.moduleName = in.text();
    r.reportText = in.text();
    r.generalText = in.text();
    r.assemblerText = in.text();
    r.cpuText = in.text();
    r.callStack = in.rows();
    r.modules = in.rows();
    r.processes = in.rows();
    r.dialogFlags = in.u32();
    r.terminateAction = in.i32();
    r.reportsBeforeTerminate = in.i32();
    r.dialogCloseSeconds = in.i32();
    r.firstTab = in.i32();
    r.logSections = in.u8();
    r.keepLogFile = in.flag();
    r.sendConfigured = in.flag();
    r.screenshotRequested = in.flag();
    r.supportLink = in.text();
    r.texts = in.texts();
    r.errorCount = in.i32();
    r.duplicate = in.flag();
    r.topLevelWindows.assign(in.count(16), {});
    for (auto &rect : r.topLevelWindows)
        rect = in.rect();
    r.foregroundWindow = in.rect();
    r.mainWindowId = in.u64();
    r.hasFocusRect = in.flag();
    r.focusRect = in.rect();
    r.cursorX = in.i32();
    r.cursorY = in.i32();
    r.cursorShape = in.i32();
    r.screenshotForegroundOnly = in.flag();
    r.screenshotFile = in.text();
    r.settingsFile = in.text();
    r.reproduceText = in.text();
    return in.ok() && in.atEnd();
}

std::string EncodeShowResult(const TCrashShowResult &r)
{
    Writer w;
    w.flag(r.painted);
    w.flag(r.sendRequested);
    w.flag(r.screenshotRequested);
    w.flag(r.copyRequested);
    w.flag(r.terminateRequested);
    w.text(r.emailAddress);
    w.text(r.reproduceText);
    w.flag(r.reproduceGiven);
    w.text(r.screenshotFile);
    w.texts(r.warnings);
    return w.take();
}

bool DecodeShowResult(const std::string &payload, TCrashShowResult &r)
{
    Reader in(payload);
    r.painted = in.flag();
    r.sendRequested = in.flag();
    r.screenshotRequested = in.flag();
    r.copyRequested = in.flag();
    r.terminateRequested = in.flag();
    r.emailAddress = in.text();
    r.reproduceText = in.text();
    r.reproduceGiven = in.flag();
    r.screenshotFile = in.text();
    r.warnings = in.texts();
    return in.ok() && in.atEnd();
}

std::string EncodeProgress(const TDialogProgress &p)
{
    Writer w;
    w.text(p.label);
    w.i32(p.position);
    w.i32(p.maximum);
    return w.take();
}

bool DecodeProgress(const std::string &payload, TDialogProgress &p)
{
    Reader in(payload);
    p.label = in.text();
    p.position = in.i32();
    p.maximum = in.i32();
    return in.ok() && in.atEnd();
}

std::string EncodeAction(const TDialogAction &a)
{
    Writer w;
    w.i32(a.action);
    w.flag(a.flag);
    return w.take();
}

bool DecodeAction(const std::string &payload, TDialogAction &a)
{
    Reader in(payload);
    a.action = in.i32();
    a.flag = in.flag();
    return in.ok() && in.atEnd();
}

std::string EncodeWarning(const TDialogWarning &warning)
{
    Writer w;
    w.i32(warning.code);
    w.text(warning.text);
    return w.take();
}

bool DecodeWarning(const std::string &payload, TDialogWarning &warning)
{
    Reader in(payload);
    warning.code = in.i32();
    warning.text = in.text();
    return in.ok() && in.atEnd();
}

std::string EncodeMessageBox(const TDialogMessageBox &box)
{
    Writer w;
    w.text(box.caption);
    w.text(box.text);
    w.i32(box.icon);
    return w.take();
}

bool DecodeMessageBox(const std::string &payload, TDialogMessageBox &box)
{
    Reader in(payload);
    box.caption = in.text();
    box.text = in.text();
    box.icon = in.i32();
    return in.ok() && in.atEnd();
}

std::string EncodeText(const std::string &text)
{
    Writer w;
    w.text(text);
    return w.take();
}

bool DecodeText(const std::string &payload, std::string &text)
{
    Reader in(payload);
    text = in.text();
    return in.ok() && in.atEnd();
}

std::string EncodeFlag(bool flag)
{
    Writer w;
    w.flag(flag);
    return w.take();
}

bool DecodeFlag(const std::string &payload, bool &flag)
{
    Reader in(payload);
    flag = in.flag();
    return in.ok() && in.atEnd();
}

} // namespace crashreport
