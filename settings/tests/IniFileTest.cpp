#include "IniDocument.h"
#include "IniFile.h"
#include "SettingsTestFolder.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <string>
#include <variant>
#include <vector>

using namespace vetu;
using namespace std::string_literals;

namespace {

QByteArray bytes(const std::string &s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

const QString Default = QStringLiteral("<default>");

} // namespace

TEST(IniFileRead, StringsFollowTheProfileRules)
{
    struct Case {
        const char *what;
        std::string file;
        const char *section;
        const char *key;
        QString expected;
    };
    const Case cases[] = {
        {"plain", "[S]\r\nk=v\r\n", "S", "k", "v"},
        {"names ignore letter case", "[settings]\r\nKEY=v\r\n", "Settings", "key", "v"},
        {"blanks around the value dropped", "[S]\r\nk =  v x \t\r\n", "S", "k", "v x"},
        {"blanks around names dropped", "  [ S ]  \r\n  k  = v\r\n", "S", "k", "v"},
        {"LF line ends", "[S]\nk=v\n", "S", "k", "v"},
        {"CR line ends", "[S]\rk=v\r", "S", "k", "v"},
        {"no final line break", "[S]\r\nk=v", "S", "k", "v"},
        {"empty value is not the default", "[S]\r\nk=\r\n", "S", "k", ""},
        {"value holding '='", "[S]\r\nk=a=b\r\n", "S", "k", "a=b"},
        {"quotes are part of the value", "[S]\r\nk=\"v\"\r\n", "S", "k", "\"v\""},
        {"first of repeated keys", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "1"},
        {"first of repeated sections", "[S]\r\na=1\r\n[s]\r\nk=2\r\n", "S", "k", Default},
        {"key of another section", "[T]\r\nk=v\r\n[S]\r\nx=1\r\n", "S", "k", Default},
        {"key before any section", "k=v\r\n[S]\r\n", "S", "k", Default},
        {"missing section", "[T]\r\nk=v\r\n", "S", "k", Default},
        {"comment line is no key", "[S]\r\n;k=v\r\n", "S", "k", Default},
        {"line without '=' is no key", "[S]\r\nk\r\n", "S", "k", Default},
        {"key name is matched whole", "[S]\r\nkey1=v\r\n", "S", "key", Default},
        {"header without closing bracket", "[S\r\nk=v\r\n", "S", "k", "v"},
        {"text after the closing bracket", "[S] ; settings\r\nk=v\r\n", "S", "k", "v"},
        {"Windows-1252 bytes", "[S]\r\nk=M\xe4r \x80\r\n", "S", "k", QStringLiteral("Mär €")},
        {"UTF-8 is read byte by byte", "[S]\r\nk=\xc3\xa4\r\n", "S", "k", QStringLiteral("Ã¤")},
        {"NUL inside a value", "[S]\r\nk=a\0b\r\n"s, "S", "k", QString(reinterpret_cast<const QChar *>(u"a\0b"), 3)},
        {"header after a UTF-8 byte-order mark", "\xef\xbb\xbf[S]\r\nk=v\r\n", "S", "k", "v"},
        {"empty file", "", "S", "k", Default},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SettingsTestFolder folder;
        folder.write("f.ini", bytes(c.file));
        IniFile ini(folder.filePath("f.ini"));
        EXPECT_EQ(ini.readString(c.section, c.key, Default), c.expected);
        EXPECT_EQ(folder.read("f.ini"), bytes(c.file)) << "a read must not change the file";
    }
}

TEST(IniFileRead, Integers)
{
    struct Case {
        const char *value;
        int expected;
    };
    // 77 is the default. A value must be an integer as a whole: "12abc" gives the default.
    const Case cases[] = {
        {"12", 12},
        {"+12", 12},
        {"-12", -12},
        {"007", 7},
        {" 42 ", 42},
        {"0x1F", 31},
        {"0X1f", 31},
        {"-0x10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"0x7FFFFFFF", 2147483647},
        {"12abc", 77},
        {"abc", 77},
        {"", 77},
        {"-", 77},
        {"0x", 77},
        {"0xG", 77},
        {"1.5", 77},
        {"1 000", 77},
        {"2147483648", 77},
        {"-2147483649", 77},
        {"0x80000000", 77},
        {"99999999999999999999999", 77},
        {"\xd9\xa3", 77}, // bytes that decode to letters, not digits
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        SettingsTestFolder folder;
        folder.write("f.ini", "[S]\r\nk=" + QByteArray(c.value) + "\r\n");
        EXPECT_EQ(IniFile(folder.filePath("f.ini")).readInteger("S", "k", 77), c.expected);
    }
    SettingsTestFolder folder;
    EXPECT_EQ(IniFile(folder.filePath("missing.ini")).readInteger("S", "k", -1), -1);
}

TEST(IniFileRead, SectionListsKeysWithTheirValuesInFileOrder)
{
    SettingsTestFolder folder;
    folder.write("f.ini",
            "top=1\r\n[S]\r\n; note\r\nb = 2 \r\nno equals sign\r\na=1\r\nB=3\r\n\r\nc=\r\n[T]\r\nt=1\r\n[s]\r\nd=4\r\n");
    IniFile ini(folder.filePath("f.ini"));
    EXPECT_EQ(ini.readSection("s"), QStringList({"b=2", "a=1", "c="}));
    EXPECT_EQ(ini.readSection("T"), QStringList({"t=1"}));
    EXPECT_TRUE(ini.readSection("missing").isEmpty());
}

TEST(IniFileRead, ReadsNeverCreateAnything)
{
    SettingsTestFolder folder;
    const QString path = folder.filePath("missing.ini");
    IniFile ini(path);
    EXPECT_EQ(ini.readString("S", "k", "d"), "d");
    EXPECT_EQ(ini.readInteger("S", "k", 5), 5);
    EXPECT_TRUE(ini.readSection("S").isEmpty());
    ini.eraseSection("S");
    ini.flush();
    EXPECT_TRUE(folder.entries().isEmpty());
}

TEST(IniFileRead, EachReadSeesTheFileAsItIsNow)
{
    SettingsTestFolder folder;
    IniFile ini(folder.filePath("f.ini"));
    folder.write("f.ini", "[S]\r\nk=1\r\n");
    EXPECT_EQ(ini.readString("S", "k", ""), "1");
    folder.write("f.ini", "[S]\r\nk=2\r\n"); // same size, possibly the same time stamp
    EXPECT_EQ(ini.readString("S", "k", ""), "2");
    ini.writeString("S", "x", "y");
    folder.write("f.ini", "[S]\r\nk=3\r\n");
    EXPECT_EQ(ini.readString("S", "x", "gone"), "gone");
    ini.writeString("S", "x", "z");
    EXPECT_EQ(folder.read("f.ini"), "[S]\r\nk=3\r\nx=z\r\n") << "a write starts from the file on disk";
}

namespace {

struct Write {
    QString section, key, value;
};
struct Erase {
    QString section;
};
using Operation = std::variant<Write, Erase>;

void apply(IniFile &ini, const Operation &op)
{
    if (const auto *w = std::get_if<Write>(&op))
        ini.writeString(w->section, w->key, w->value);
    else
        ini.eraseSection(std::get<Erase>(op).section);
}

} // namespace

TEST(IniFileWrite, ChangesOnlyTheLinesTheyWrite)
{
    struct Case {
        const char *what;
        std::string before; // "<missing>": no file
        std::vector<Operation> operations;
        std::string after;
    };
    const Case cases[] = {
        {"missing file is created", "<missing>", {Write{"S", "k", "v"}}, "[S]\r\nk=v\r\n"},
        {"empty file", "", {Write{"S", "k", "v"}}, "[S]\r\nk=v\r\n"},
        {"value replaced in place, other lines keep their bytes",
                "; c\n[S]\nk=old\nother\n[T]\nx=1\n", {Write{"S", "K", "new"}},
                "; c\n[S]\nk=new\r\nother\n[T]\nx=1\n"},
        {"new key after the last non-blank line of its section",
                "[S]\r\na=1\r\n\r\n\r\n[T]\r\nb=2\r\n", {Write{"S", "c", "3"}},
                "[S]\r\na=1\r\nc=3\r\n\r\n\r\n[T]\r\nb=2\r\n"},
        {"new key in an empty section", "[S]\r\n\r\n[T]\r\n", {Write{"S", "c", "3"}},
                "[S]\r\nc=3\r\n\r\n[T]\r\n"},
        {"new key after a comment that ends the section", "[S]\r\na=1\r\n; end of S\r\n[T]\r\n",
                {Write{"S", "c", "3"}}, "[S]\r\na=1\r\n; end of S\r\nc=3\r\n[T]\r\n"},
        {"new key does not glue onto a last line without line break", "[S]\r\na=1",
                {Write{"S", "c", "3"}}, "[S]\r\na=1\r\nc=3\r\n"},
        {"replaced last line without line break", "[S]\r\nk=1", {Write{"S", "k", "2"}}, "[S]\r\nk=2\r\n"},
        {"CR-only lines", "[S]\rk=1\ra=2\r[T]\r", {Write{"S", "k", "3"}, Write{"S", "b", "4"}},
                "[S]\rk=3\r\na=2\rb=4\r\n[T]\r"},
        {"new section at the end of the file", "[S]\na=1\n\n", {Write{"T", "b", "2"}},
                "[S]\na=1\n\n[T]\r\nb=2\r\n"},
        {"new section after a last line without line break", "[S]\na=1", {Write{"T", "b", "2"}},
                "[S]\na=1\r\n[T]\r\nb=2\r\n"},
        {"first of repeated keys changes", "[S]\r\nk=1\r\nk=2\r\n", {Write{"S", "k", "9"}},
                "[S]\r\nk=9\r\nk=2\r\n"},
        {"first of repeated sections changes", "[S]\r\na=1\r\n[S]\r\nk=2\r\n", {Write{"S", "k", "9"}},
                "[S]\r\na=1\r\nk=9\r\n[S]\r\nk=2\r\n"},
        {"names keep their spelling in the file", "[SETTINGS]\r\nlanguageoffset=0\r\n",
                {Write{"Settings", "LanguageOffset", "10000"}}, "[SETTINGS]\r\nlanguageoffset=10000\r\n"},
        {"indented key line is rewritten without indent", "[S]\r\n   k = 1   \r\n", {Write{"S", "k", "2"}},
                "[S]\r\nk=2\r\n"},
        {"value written as given", "", {Write{"S", "k", "  x "}}, "[S]\r\nk=  x \r\n"},
        {"Windows-1252 bytes", "", {Write{"S", "k", QStringLiteral("Mär €")}}, "[S]\r\nk=M\xe4r \x80\r\n"},
        {"line breaks cannot start new lines", "",
                {Write{"S", "k", "a\r\n[X]\nb=c"}}, "[S]\r\nk=a  [X] b=c\r\n"},
        {"foreign bytes stay", "\xff\xfe\0junk\n\xc3\xa4=\xe2\x82\xac\r[S]\nk=1\n"s,
                {Write{"S", "k", "2"}}, "\xff\xfe\0junk\n\xc3\xa4=\xe2\x82\xac\r[S]\nk=2\r\n"s},
        {"UTF-8 byte-order mark stays", "\xef\xbb\xbf[S]\nk=1\n", {Write{"S", "k", "2"}, Write{"S", "n", "3"}},
                "\xef\xbb\xbf[S]\nk=2\r\nn=3\r\n"},
        {"device lines outside sections stay", "Vetu 1.04\r\n[Settings]\r\nSerial 1234\r\n",
                {Write{"Settings", "Buzzer", "1"}}, "Vetu 1.04\r\n[Settings]\r\nSerial 1234\r\nBuzzer=1\r\n"},
        {"sections added in write order", "[01]\r\nName=a\r\n[30]\r\nName=b\r\n",
                {Write{"05", "Name", "c"}, Write{"05", "BodyNr", "1"}, Write{"01", "BodyNr", "2"}},
                "[01]\r\nName=a\r\nBodyNr=2\r\n[30]\r\nName=b\r\n[05]\r\nName=c\r\nBodyNr=1\r\n"},
        {"erase a section with its lines", "[A]\r\na=1\r\n[B]\r\nb=1\r\n; note\r\n\r\n[C]\r\nc=1\r\n",
                {Erase{"b"}}, "[A]\r\na=1\r\n[C]\r\nc=1\r\n"},
        {"erase the last section", "[A]\na=1\n[B]\nb=1", {Erase{"B"}}, "[A]\na=1\n"},
        {"erase every copy of a section", "[B]\r\nb=1\r\n[A]\r\na=1\r\n[b]\r\nb=2\r\n", {Erase{"B"}},
                "[A]\r\na=1\r\n"},
        {"erase a missing section", "[A]\na=1", {Erase{"B"}}, "[A]\na=1"},
        {"write after erase", "[A]\r\na=1\r\n[B]\r\nb=1\r\n", {Erase{"A"}, Write{"A", "a", "2"}},
                "[B]\r\nb=1\r\n[A]\r\na=2\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SettingsTestFolder folder;
        if (c.before != "<missing>")
            folder.write("f.ini", bytes(c.before));
        IniFile ini(folder.filePath("f.ini"));
        for (const Operation &op : c.operations)
            apply(ini, op);
        EXPECT_EQ(folder.read("f.ini"), bytes(c.after));
        EXPECT_EQ(folder.entries(), QStringList{"f.ini"}) << "no temporary file may be left";
    }
}

TEST(IniFileWrite, ReadsBackWhatWasWritten)
{
    SettingsTestFolder folder;
    IniFile ini(folder.filePath("f.ini"));
    ini.writeInteger("Settings", "LanguageOffset", -1);
    ini.writeInteger("Settings", "Big", 2147483647);
    ini.writeString("01", "Name", QStringLiteral("Flügel №")); // № has no byte
    EXPECT_EQ(ini.readInteger("settings", "languageoffset", 0), -1);
    EXPECT_EQ(ini.readInteger("Settings", "Big", 0), 2147483647);
    EXPECT_EQ(ini.readString("01", "Name", ""), QStringLiteral("Flügel ?"));
    EXPECT_EQ(folder.read("f.ini"), "[Settings]\r\nLanguageOffset=-1\r\nBig=2147483647\r\n[01]\r\nName=Fl\xfcgel ?\r\n");
}

TEST(IniFileWrite, BatchReachesTheDiskOnlyOnCommit)
{
    SettingsTestFolder folder;
    const QByteArray before = "[S]\r\nk=1\r\n";
    folder.write("f.ini", before);
    IniFile ini(folder.filePath("f.ini"));

    ini.beginBatch();
    ini.writeString("S", "k", "2");
    ini.writeString("T", "t", "3");
    ini.eraseSection("S");
    ini.writeString("S", "k", "4");
    EXPECT_EQ(ini.readString("T", "t", ""), "3") << "reads inside a batch see its changes";
    ini.flush();
    EXPECT_EQ(folder.read("f.ini"), before);
    ini.commitBatch();
    EXPECT_EQ(folder.read("f.ini"), "[T]\r\nt=3\r\n[S]\r\nk=4\r\n");

    {
        IniBatch batch(ini);
        ini.writeString("S", "k", "5");
    } // not committed
    EXPECT_EQ(folder.read("f.ini"), "[T]\r\nt=3\r\n[S]\r\nk=4\r\n");
    EXPECT_EQ(ini.readString("S", "k", ""), "4");

    ini.beginBatch();
    ini.beginBatch();
    ini.writeString("S", "k", "6");
    ini.commitBatch(); // inner
    EXPECT_EQ(ini.readString("S", "k", ""), "6");
    EXPECT_EQ(folder.read("f.ini"), "[T]\r\nt=3\r\n[S]\r\nk=4\r\n");
    ini.commitBatch(); // outer
    EXPECT_EQ(folder.read("f.ini"), "[T]\r\nt=3\r\n[S]\r\nk=6\r\n");

    // A batch without changes writes nothing and creates nothing.
    IniFile other(folder.filePath("other.ini"));
    IniBatch empty(other);
    other.eraseSection("S");
    empty.commit();
    EXPECT_FALSE(folder.exists("other.ini"));
}

TEST(IniFileWrite, ErrorMessageNamesTheFullPath)
{
    const IniWriteError error(QStringLiteral("/media/VETU/Configuration.ini"));
    EXPECT_STREQ(error.what(), "Unable to write to /media/VETU/Configuration.ini");
    EXPECT_EQ(error.path(), QStringLiteral("/media/VETU/Configuration.ini"));

    SettingsTestFolder folder;
    const QString path = folder.filePath("no such folder/f.ini");
    IniFile ini(path);
    try {
        ini.writeString("S", "k", "v");
        FAIL() << "the write must fail";
    } catch (const IniWriteError &e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), "Unable to write to " + path);
    }
}

// Files that are not INI text: nothing crashes, and a write keeps every byte it does not touch.
TEST(IniFileBadInput, ForeignContentSurvivesAWrite)
{
    QRandomGenerator random(4711);
    QByteArray binary(10 * 1024 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(binary.data()), binary.size() / 4);
    QByteArray text;
    for (int i = 0; text.size() < 10 * 1024 * 1024; ++i)
        text += "[Section" + QByteArray::number(i % 5000) + "]\r\nKey" + QByteArray::number(i) + "=Value\r\n";
    QByteArray oneSection = "[Section1]\r\n";
    for (int i = 0; oneSection.size() < 10 * 1024 * 1024; ++i)
        oneSection += "Key" + QByteArray::number(i) + " = Value\r\n";
    QByteArray nuls(4096, '\0');
    struct Case {
        const char *what;
        QByteArray content;
    };
    const Case cases[] = {
        {"10 MB of random bytes", binary},
        {"10 MB of text with repeated sections", text},
        {"10 MB in one section", oneSection},
        {"NUL bytes only", nuls},
        {"UTF-8 with a byte-order mark", "\xef\xbb\xbf[Vetu]\r\nName=\xc3\x84\r\n"},
        {"lines without '='", "just text\nmore text"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SettingsTestFolder folder;
        folder.write("f.ini", c.content);
        IniFile ini(folder.filePath("f.ini"));
        EXPECT_EQ(ini.readString("Vetu Test", "k", "d"), "d");
        const QStringList listed = ini.readSection("Section1");
        EXPECT_TRUE(listed.isEmpty() || listed.front().startsWith("Key"));
        ini.writeString("Vetu Test", "k", "v");
        const QByteArray after = folder.read("f.ini");
        ASSERT_TRUE(after.startsWith(c.content));
        const QByteArray tail = after.mid(c.content.size());
        EXPECT_TRUE(tail == "[Vetu Test]\r\nk=v\r\n" || tail == "\r\n[Vetu Test]\r\nk=v\r\n");
        EXPECT_EQ(ini.readString("vetu test", "K", "d"), "v");
    }
}

// Whatever the bytes, an unchanged document writes back the same bytes, a new key is found
// again, and erasing it gives back the original file.
TEST(IniFileBadInput, RandomDocumentsRoundTrip)
{
    const char alphabet[] = {'[', ']', '=', ';', '\r', '\n', ' ', '\t', 'a', 'S', '\0', '\x80', '\xff'};
    QRandomGenerator random(99);
    for (int round = 0; round < 5000; ++round) {
        QByteArray content;
        const int size = random.bounded(200);
        for (int i = 0; i < size; ++i)
            content += alphabet[random.bounded(int(sizeof alphabet))];
        SCOPED_TRACE(content.toHex().constData());
        IniDocument document = IniDocument::parse(content);
        ASSERT_EQ(document.serialize(), content);
        document.setValue("Vetu Test", "k", "v");
        const QByteArray written = document.serialize();
        ASSERT_TRUE(written.startsWith(content));
        const IniDocument reread = IniDocument::parse(written);
        EXPECT_EQ(reread.value("vetu test", "K"), std::optional<QString>("v"));
        EXPECT_EQ(reread.sectionLines("Vetu Test"), QStringList{"k=v"});
        document.eraseSection("Vetu Test");
        const QByteArray erased = document.serialize();
        // The last line of the original may have gained the line end that the new section needed.
        EXPECT_TRUE(erased == content || erased == content + "\r\n");
    }
}
