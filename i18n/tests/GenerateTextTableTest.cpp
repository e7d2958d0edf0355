#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

namespace
{

struct GeneratorRun {
    int exitCode;
    std::string output;
    std::string generated;
};

GeneratorRun generate(const std::string &tsv)
{
    QTemporaryDir dir;
    const std::string in = dir.filePath("texts.tsv").toStdString();
    const std::string out = dir.filePath("rows.cpp").toStdString();
    std::ofstream(in, std::ios::binary) << tsv;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(VETU_TEXTTABLE_GEN, { QString::fromStdString(in), QString::fromStdString(out) });
    process.waitForFinished();
    std::ifstream file(out, std::ios::binary);
    const std::string generated { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAll().toStdString(), generated };
}

TEST(GenerateTextTableTest, RefusesMalformedTablesWithTheLine)
{
    struct Case {
        const char *tsv;
        const char *message;
    };
    const Case cases[] = {
        { "1\tA\tB\tC\n", ":1: expected a text id and 4 texts" },
        { "# c\n1\tA\tB\tC\tD\tE\n", ":2: expected a text id and 4 texts" },
        { "x\tA\tB\tC\tD\n", ":1: text id must be a number" },
        { "12a\tA\tB\tC\tD\n", ":1: text id must be a number" },
        { "0\tA\tB\tC\tD\n", ":1: text id must be a number" },
        { "10000\tA\tB\tC\tD\n", ":1: text id must be a number" },
        { "5\tA\tB\tC\tD\n5\tE\tF\tG\tH\n", ":2: text id 5 appears twice" },
        { "5\t\xc3\tB\tC\tD\n", ":1: not valid UTF-8" },
        { "# nothing\n\n", "holds no texts" },
    };
    for (const Case &c : cases) {
        const GeneratorRun run = generate(c.tsv);
        EXPECT_NE(run.exitCode, 0) << c.tsv;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << c.tsv << " -> " << run.output;
    }
}

TEST(GenerateTextTableTest, WritesEveryByteOfTheTextsSafely)
{
    // Quotes, backslashes, a digit after a multi-byte letter, CR LF line ends and an
    // empty field (no entry) must all come out as the exact bytes.
    const GeneratorRun run = generate("# header\r\n2\tSag \"hallo\"\tC:\\dir\t\xc3\xa9"
                                      "1\t\r\n1\tEins\t\tUn\tUno\r\n");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const char *expected[] = {
        "{1, \"Eins\"},",
        "{2, \"Sag \\\"hallo\\\"\"},",
        "{10002, \"C:\\\\dir\"},",
        "{20001, \"Un\"},",
        "{20002, \"\\303\\251"
        "1\"},",
        "{30001, \"Uno\"},",
        "TextTableRowCount = 6;",
    };
    for (const char *line : expected)
        EXPECT_NE(run.generated.find(line), std::string::npos) << line << "\n" << run.generated;
    EXPECT_EQ(run.generated.find("10001"), std::string::npos);
    EXPECT_EQ(run.generated.find("30002"), std::string::npos);
}

} // namespace
