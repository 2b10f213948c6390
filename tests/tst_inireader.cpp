#include "startup/inireader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <random>
#include <string_view>

using namespace Qt::StringLiterals;
using namespace std::string_view_literals;
using tikvor::iniValue;
using tikvor::readProfileString;

namespace {

// String literals go through std::string_view so that embedded NUL bytes survive.
QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

void lookupColumns()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");
}

void found(const char* tag, std::string_view text, std::string_view section, std::string_view key,
           std::string_view value)
{
    QTest::newRow(tag) << bytes(text) << bytes(section) << bytes(key) << true << bytes(value);
}

void absent(const char* tag, std::string_view text, std::string_view section, std::string_view key)
{
    QTest::newRow(tag) << bytes(text) << bytes(section) << bytes(key) << false << QByteArray();
}

void profileColumns()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("expected");
}

void profile(const char* tag, const QByteArray& text, const QString& section, const QString& key,
             const QString& defaultValue, int size, const QString& expected)
{
    QTest::newRow(tag) << text << section << key << defaultValue << size << expected;
}

// An independent, deliberately naive reading of the same rules, used as the oracle for random
// input. It relies on QByteArray::trimmed, which equals our blank trimming as long as the input
// holds no \v or \f.
std::optional<QByteArray> naiveValue(QByteArray text, const QByteArray& section,
                                     const QByteArray& key)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    bool inSection = false;
    for (QByteArray line : text.split('\n')) {
        if (line.contains('\0'))
            line.truncate(line.indexOf('\0'));
        line = line.trimmed();
        if (line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            if (inSection)
                return std::nullopt;
            inSection = line.mid(1).split(']').first().trimmed().toLower() == section.toLower();
        } else if (inSection && line.contains('=')) {
            const qsizetype equals = line.indexOf('=');
            if (line.left(equals).trimmed().toLower() != key.toLower())
                continue;
            QByteArray value = line.mid(equals + 1).trimmed();
            if (value.size() >= 2 && (value.startsWith('"') || value.startsWith('\'')) &&
                value.endsWith(value.front()))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return std::nullopt;
}

} // namespace

class TestIniReader : public QObject {
    Q_OBJECT

private:
    void checkLookup();
    void checkProfile();

private slots:
    void names_data();
    void names() { checkLookup(); }
    void blanks_data();
    void blanks() { checkLookup(); }
    void quotes_data();
    void quotes() { checkLookup(); }
    void comments_data();
    void comments() { checkLookup(); }
    void sections_data();
    void sections() { checkLookup(); }
    void duplicates_data();
    void duplicates() { checkLookup(); }
    void lineEndings_data();
    void lineEndings() { checkLookup(); }
    void nulBytes_data();
    void nulBytes() { checkLookup(); }
    void sizes_data();
    void sizes() { checkProfile(); }
    void defaults_data();
    void defaults() { checkProfile(); }
    void utf8Mark_data();
    void utf8Mark() { checkProfile(); }

    void fixtures_data();
    void fixtures();
    void notAnOrdinaryFile_data();
    void notAnOrdinaryFile();
    void unreadableFile();
    void sizeLimit_data();
    void sizeLimit();
    void megabyteLines_data();
    void megabyteLines();
    void randomBuffers();
    void readmeExample();
    void repeatedSections_data();
    void repeatedSections();
};

void TestIniReader::checkLookup()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);

    const std::optional<QByteArray> result = iniValue(text, section, key);
    QCOMPARE(result.has_value(), found);
    if (found)
        QCOMPARE(*result, value);
}

void TestIniReader::checkProfile()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, defaultValue);
    QFETCH(int, size);
    QFETCH(QString, expected);

    QCOMPARE(readProfileString(text, section, key, defaultValue, size), expected);
}

void TestIniReader::names_data()
{
    lookupColumns();
    found("section case", "[znaky]\nPort=COM1", "ZNAKY", "Port", "COM1");
    found("key case", "[Znaky]\nPORT=COM1", "Znaky", "port", "COM1");
    found("value keeps case", "[Znaky]\nPort=CoM1", "znaky", "PORT", "CoM1");
    found("high bytes equal", "[\xC8\x61s]\n\xE8\xED=1", "\xC8\x61s", "\xE8\xED", "1");
    absent("high bytes not folded", "[Znaky]\n\xC8=1", "Znaky", "\xE8");
    found("inner blank in key", "[Znaky]\nmy key=v", "Znaky", "my key", "v");
    absent("key is a prefix", "[Znaky]\nPort=COM1", "Znaky", "Por");
    absent("key is longer", "[Znaky]\nPort=COM1", "Znaky", "Ports");
    absent("section is a prefix", "[Znaky]\nPort=COM1", "Znak", "Port");
    found("empty key matches =v", "[Znaky]\n=v", "Znaky", "", "v");
    absent("asked name not trimmed", "[Znaky]\nPort=COM1", "Znaky", " Port");
    found("bracket-like letters", "[a_z]\n@[=v", "A_Z", "@[", "v");
}

void TestIniReader::blanks_data()
{
    lookupColumns();
    found("spaces around =", "[s]\nk = v", "s", "k", "v");
    found("tabs around =", "[s]\n\tk\t=\tv\t", "s", "k", "v");
    found("numeric key", "[s]\n 5 = x", "s", "5", "x");
    found("inner blanks kept", "[s]\nk=  a \t b  ", "s", "k", "a \t b");
    found("blank value", "[s]\nk= \t ", "s", "k", "");
    found("section trimmed", "[ \ts \t]\nk=v", "s", "k", "v");
    found("indented section", " \t[s]\nk=v", "s", "k", "v");
    found("other control bytes kept", "[s]\nk=\x0Bv\x0C", "s", "k", "\x0Bv\x0C");
}

void TestIniReader::quotes_data()
{
    lookupColumns();
    found("double", "[s]\nk=\"v\"", "s", "k", "v");
    found("single", "[s]\nk='v'", "s", "k", "v");
    found("blanks inside kept", "[s]\nk= \" v \" ", "s", "k", " v ");
    found("empty pair", "[s]\nk=\"\"", "s", "k", "");
    found("lone double", "[s]\nk=\"", "s", "k", "\"");
    found("lone single", "[s]\nk='", "s", "k", "'");
    found("mismatched", "[s]\nk=\"v'", "s", "k", "\"v'");
    found("opening only", "[s]\nk=\"v", "s", "k", "\"v");
    found("closing only", "[s]\nk=v\"", "s", "k", "v\"");
    found("one pair only", "[s]\nk=\"'v'\"", "s", "k", "'v'");
    found("outer pair of three", "[s]\nk=\"a\"b\"", "s", "k", "a\"b");
    found("inner quotes", "[s]\nk=a\"b\"c", "s", "k", "a\"b\"c");
    found("quote then blank", "[s]\nk=\"v\" x", "s", "k", "\"v\" x");
}

void TestIniReader::comments_data()
{
    lookupColumns();
    absent("commented key", "[s]\n;k=v", "s", "k");
    absent("indented comment", "[s]\n \t;k=v", "s", "k");
    absent("commented section", ";[s]\nk=v", "s", "k");
    found("no inline comment", "[s]\nk=v ;c", "s", "k", "v ;c");
    found("hash is ordinary", "[s]\n#k=v", "s", "#k", "v");
    found("value starts with ;", "[s]\nk=;v", "s", "k", ";v");
    found("comment keeps section", "[s]\n;note\nk=v", "s", "k", "v");
    found("semicolon after key", "[s]\nk;=v", "s", "k;", "v");
}

void TestIniReader::sections_data()
{
    lookupColumns();
    found("text after ] ignored", "[s] junk = 1\nk=v", "s", "k", "v");
    found("no ] takes rest", "[ s \nk=v", "s", "k", "v");
    found("name ends at first ]", "[s]x]\nk=v", "s", "k", "v");
    found("name keeps [", "[[s]\nk=v", "[s", "k", "v");
    found("= inside name", "[a=b]\nk=v", "a=b", "k", "v");
    found("empty name", "[]\nk=v", "", "k", "v");
    absent("section line is no key", "[s]k=v", "s", "k");
    absent("key before any section", "k=v\n[s]", "", "k");
    absent("key before any section 2", "k=v\n[s]\n", "s", "k");
    absent("key in other section", "[s]\n[t]\nk=v", "s", "k");
    absent("line without =", "[s]\nk v", "s", "k");
    absent("missing section", "[s]\nk=v", "t", "k");
    found("later section", "[a]\nx=1\n[b]\nk=v", "b", "k", "v");
}

void TestIniReader::duplicates_data()
{
    lookupColumns();
    found("first key wins", "[s]\nk=1\nk=2", "s", "k", "1");
    found("first key wins ignoring case", "[s]\nK=1\nk=2", "s", "k", "1");
    found("empty first key wins", "[s]\nk=\nk=2", "s", "k", "");
    found("first section wins", "[s]\nk=1\n[s]\nk=2", "s", "k", "1");
    absent("key only in second section", "[s]\na=1\n[t]\nk=0\n[s]\nk=2", "s", "k");
    absent("second section other case", "[S]\n[s]\nk=2", "s", "k");
    found("other name given twice", "[t]\n[t]\n[s]\nk=1", "s", "k", "1");
}

void TestIniReader::lineEndings_data()
{
    lookupColumns();
    found("LF", "[s]\nk=v\nx=y\n", "s", "x", "y");
    found("CRLF", "[s]\r\nk=v\r\n", "s", "k", "v");
    found("CR", "[s]\rk=v\rx=y\r", "s", "x", "y");
    found("LF CR", "[s]\n\rk=v\n\r", "s", "k", "v");
    found("mixed", "[a]\r\n[s]\rk=1\nx=2\r\n", "s", "x", "2");
    found("no final newline", "[s]\nk=v", "s", "k", "v");
    found("only CRs between", "[s]\r\r\r\rk=v", "s", "k", "v");
    found("CR ends quoted value", "[s]\nk=\"v\"\r", "s", "k", "v");
    found("CR inside splits", "[s]\nk=a\rb=c", "s", "b", "c");
    absent("empty text", "", "s", "k");
    absent("only line ends", "\r\n\n\r", "s", "k");
}

void TestIniReader::nulBytes_data()
{
    lookupColumns();
    found("value cut", "[s]\nk=ab\0cd"sv, "s", "k", "ab");
    found("next line unaffected", "[s]\nk=a\0\nx=y"sv, "s", "x", "y");
    found("value cut before blanks", "[s]\nk=v  \0x"sv, "s", "k", "v");
    found("value cut inside quotes", "[s]\nk=\"ab\0\""sv, "s", "k", "\"ab");
    found("value empty", "[s]\nk=\0v"sv, "s", "k", "");
    absent("key cut before =", "[s]\nk\0=v"sv, "s", "k");
    absent("line starts with NUL", "[s]\n\0k=v"sv, "s", "k");
    found("section cut before ]", "[s\0]\nk=v"sv, "s", "k", "v");
    absent("section name emptied", "[\0s]\nk=v"sv, "s", "k");
    found("NUL as last byte", "[s]\nk=v\0"sv, "s", "k", "v");
    absent("only NULs", "\0\0\0\0"sv, "", "");
    absent("NUL in asked key", "[s]\nk=v"sv, "s", "k\0"sv);
}

void TestIniReader::sizes_data()
{
    profileColumns();
    const QByteArray t = "[s]\nk=value\nq=\"abc\"\nu=\xC4\x8D\x61s\n";
    profile("zero", t, "s", "k", "def", 0, "");
    profile("negative", t, "s", "k", "def", -1, "");
    profile("INT_MIN", t, "s", "k", "def", INT_MIN, "");
    profile("one", t, "s", "k", "def", 1, "");
    profile("two", t, "s", "k", "def", 2, "v");
    profile("length", t, "s", "k", "def", 5, "valu");
    profile("length+1", t, "s", "k", "def", 6, "value");
    profile("INT_MAX", t, "s", "k", "def", INT_MAX, "value");
    profile("cut after quotes", t, "s", "q", "def", 3, "ab");
    profile("default cut", t, "s", "x", "fallback", 4, "fal");
    profile("default size zero", t, "s", "x", "fallback", 0, "");
    profile("default size one", t, "s", "x", "fallback", 1, "");
    profile("default exact", t, "s", "x", "fallback", 9, "fallback");
    // On a UTF-8 system, as here, values and defaults are cut by characters (utf8Mark_data).
    profile("default cut, UTF-8 system", t, "s", "x", u"\u010D\u010D\u010D"_s, 3,
            u"\u010D\u010D"_s);
}

void TestIniReader::defaults_data()
{
    profileColumns();
    const QByteArray t =
        "[s]\nk=value\ne=\nb=   \nq=\"\"\n[\xC4\x8D\x61s]\nm\xC3\xADsto=\xC5\xA1\x65st\n";
    profile("missing section", t, "t", "k", "def", 64, "def");
    profile("missing key", t, "s", "x", "def", 64, "def");
    profile("empty value", t, "s", "e", "def", 64, "");
    profile("blank value", t, "s", "b", "def", 64, "");
    profile("empty quotes", t, "s", "q", "def", 64, "");
    profile("empty text", QByteArray(), "s", "k", "def", 64, "def");
    profile("blanks kept", t, "s", "x", "  d  ", 64, "  d  ");
    profile("quotes kept", t, "s", "x", "\"d\"", 64, "\"d\"");
    profile("empty default", t, "s", "x", "", 64, "");
    profile("non-ASCII default", t, "s", "x", u"\u010Das"_s, 64, u"\u010Das"_s);
    profile("non-ASCII names", t, u"\u010DAS"_s, u"M\u00EDsto"_s, "def", 64, u"\u0161est"_s);
}

// A file saved with the UTF-8 mark counts characters, not bytes: the bytes of the system code
// page would cut "ěščřžýáíéů" (two bytes a letter) after four and a half letters. So does any
// file where the system's code page is UTF-8, as it is for these tests.
void TestIniReader::utf8Mark_data()
{
    profileColumns();
    const QByteArray t = "\xEF\xBB\xBF[Init]\nKRVVerze=\xC4\x9B\xC5\xA1\xC4\x8D\xC5\x99\xC5\xBE"
                         "\xC3\xBD\xC3\xA1\xC3\xAD\xC3\xA9\xC5\xAF\nE=a\xF0\x9F\x98\x80"
                         "b\n";
    profile("nine characters of ten", t, "Init", "KRVVerze", "CHYBA", 10,
            u"\u011B\u0161\u010D\u0159\u017E\u00FD\u00E1\u00ED\u00E9"_s);
    profile("pair not split", t, "Init", "E", "CHYBA", 3, u"a\U0001F600"_s);
    profile("no mark, UTF-8 system", t.sliced(3), "Init", "KRVVerze", "CHYBA", 10,
            u"\u011B\u0161\u010D\u0159\u017E\u00FD\u00E1\u00ED\u00E9"_s);
    profile("default cut in characters", t, "Init", "x", u"\u011B\u0161\u010D"_s, 3,
            u"\u011B\u0161"_s);
}

void TestIniReader::fixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* tag, const char* file, const char* section, const char* key,
                  const QString& expected) {
        QTest::newRow(tag) << QString::fromLatin1(file) << QString::fromLatin1(section)
                           << QString::fromLatin1(key) << expected;
    };
    row("empty", "empty.ini", "Znaky", "Port", "DEF");
    row("no sections", "no_sections.ini", "", "Port", "DEF");
    row("only comments", "only_comments.ini", "Znaky", "Port", "DEF");
    row("CR only", "cr_only.ini", "Znaky", "Port", "COM3");
    row("CR only quoted", "cr_only.ini", "znaky", "nazev", "Tikvor hodiny");
    row("mixed CRLF", "mixed_endings.ini", "Znaky", "B", "2");
    row("mixed LFCR", "mixed_endings.ini", "Znaky", "C", "3");
    row("mixed unterminated", "mixed_endings.ini", "Znaky", "D", "4");
    row("NUL cuts value", "nul_bytes.ini", "Znaky", "A", "1");
    row("NUL starts line", "nul_bytes.ini", "Znaky", "B", "DEF");
    row("NUL after value", "nul_bytes.ini", "Znaky", "C", "3");
    row("NUL ends section", "nul_bytes.ini", "Zn", "D", "4");
    row("no ] first", "unterminated_section.ini", "Znaky", "A", "1");
    row("no ] second", "unterminated_section.ini", "Dalsi", "B", "2");
    row("truncated", "truncated_value.ini", "Znaky", "A", "\"unterminated");
    row("UTF-8 BOM", "utf8_bom.ini", "Znaky", "Nazev", u"\u010Das"_s);
    row("UTF-16LE with mark", "utf16le.ini", "Znaky", "A", "1");
    row("UTF-16BE with mark", "utf16be.ini", "znaky", "Nazev", u"\u010Das"_s);
    row("UTF-16LE without mark", "utf16le_no_mark.ini", "Znaky", "Nazev", u"\u010Das"_s);
    row("legacy value", "legacy_bytes.ini", "Znaky", "A", QString::fromLocal8Bit("\x80\xFF"));
    row("duplicates first", "duplicate_sections.ini", "ZNAKY", "A", "first");
    row("duplicates second", "duplicate_sections.ini", "Znaky", "B", "DEF");
    row("binary", "binary.ini", "Znaky", "Port", "COM7");
}

void TestIniReader::fixtures()
{
    QFETCH(QString, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

#ifdef TIKVOR_FIXTURES
    const QString folder = QStringLiteral(TIKVOR_FIXTURES "/ini");
#else
    const QString folder = QFINDTESTDATA("fixtures/ini");
#endif
    QVERIFY(!folder.isEmpty());
    const QString path = QDir(folder).filePath(file);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QCOMPARE(readProfileString(section, key, "DEF", 256, path), expected);
}

void TestIniReader::notAnOrdinaryFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << QDir::temp().filePath("tikvor-no-such-file.ini");
    QTest::newRow("empty path") << QString();
    QTest::newRow("folder") << QDir::tempPath();
    QTest::newRow("device") << "/dev/null";
    QTest::newRow("endless device") << "/dev/zero";
}

void TestIniReader::notAnOrdinaryFile()
{
    QFETCH(QString, path);
    QCOMPARE(readProfileString("s", "k", "fallback", 5, path), "fall");
}

void TestIniReader::unreadableFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("locked.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[s]\nk=v\n");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::WriteOwner));
    if (file.open(QIODevice::ReadOnly))
        QSKIP("Running with rights that read any file");
    QCOMPARE(readProfileString("s", "k", "def", 64, path), "def");
}

void TestIniReader::sizeLimit_data()
{
    QTest::addColumn<qint64>("fileSize");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1 MiB") << qint64(1048576) << "1.00";
    QTest::newRow("1 MiB and a byte") << qint64(1048577) << "DEF";
}

void TestIniReader::sizeLimit()
{
    QFETCH(qint64, fileSize);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("Data.ini");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Init]\nKRVVerze=1.00\n");
    // Sparse: the rest is a hole of NUL bytes that costs no disk.
    QVERIFY(file.resize(fileSize));
    file.close();
    QTEST(readProfileString("Init", "KRVVerze", "DEF", 16, path), "expected");
}

void TestIniReader::megabyteLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");

    const QByteArray big(1 << 20, 'x');
    QTest::newRow("value") << "[s]\nk=" + big + "\n" << QByteArray("s") << QByteArray("k") << big;
    QTest::newRow("key") << "[s]\n" + big + "=v" << QByteArray("s") << big << QByteArray("v");
    QTest::newRow("section") << "[" + big + "]\nk=v" << big << QByteArray("k") << QByteArray("v");
    QTest::newRow("junk line first")
        << big + "\n[s]\nk=v" << QByteArray("s") << QByteArray("k") << QByteArray("v");
}

void TestIniReader::megabyteLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);

    QCOMPARE(iniValue(text, section, key).value_or("<absent>"), value);
    const QString cut =
        readProfileString(text, QString::fromLatin1(section), QString::fromLatin1(key), "def", 4);
    QCOMPARE(cut, QString::fromLatin1(value.left(3)));
}

void TestIniReader::randomBuffers()
{
    // Pieces that steer random text towards the interesting paths; plain random bytes alone
    // would almost never form a section header followed by a matching key.
    static const std::string_view pieces[] = {
        "[",       "]",       "=",    ";",      "\"",   "'",    "\r",   "\n",   "\r\n",
        "\0"sv,    " ",       "\t",   "a",      "A",    "b",    "k",    "K",    "v",
        "\n[a]\n", "\n[ A ]", "\nk=", "\n K =", "\na=", "\xC8", "\x80", "\xFF", "\xEF\xBB\xBF",
        "#",
    };
    static const QByteArray sections[] = {"a", "A", "a", "", " a", "\xC8"};
    static const QByteArray keys[] = {"k", "K", "k", "a", "", " k", "\xC8"};
    std::mt19937 random(20240611u);
    auto pick = [&random](int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random);
    };

    int hits = 0;
    for (int round = 0; round < 5000; ++round) {
        QByteArray text;
        const int length = pick(60);
        for (int i = 0; i < length; ++i) {
            if (pick(8) == 0)
                text.append(static_cast<char>(pick(256)));
            else
                text.append(bytes(pieces[pick(std::size(pieces))]));
        }
        // The oracle's trimming also strips these, ours must not.
        text.replace('\v', 'v').replace('\f', 'f');
        const QByteArray& section = sections[pick(std::size(sections))];
        const QByteArray& key = keys[pick(std::size(keys))];
        const int size = pick(12) - 2;

        const std::optional<QByteArray> value = iniValue(text, section, key);
        const std::optional<QByteArray> expected = naiveValue(text, section, key);
        QVERIFY2(value == expected,
                 (text.toHex(' ') + " / " + section.toHex() + " / " + key.toHex()).constData());
        if (value) {
            ++hits;
            QVERIFY(!value->contains('\n') && !value->contains('\r') && !value->contains('\0'));
        }
        const QString text16 = readProfileString(text, QString::fromLatin1(section),
                                                 QString::fromLatin1(key), "default", size);
        QVERIFY(text16.size() <= qMax(0, size - 1));
    }
    // Guards against the generator drifting into text that never matches anything.
    QVERIFY2(hits > 300, QByteArray::number(hits).constData());
}

// The example a user copies from the README must mean what it says.
void TestIniReader::readmeExample()
{
    QFile readme(TIKVOR_SOURCE_DIR "/README.md");
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QByteArray text = readme.readAll();
    const qsizetype start = text.indexOf("```ini\n");
    QVERIFY(start >= 0);
    const QByteArray example = text.mid(start + 7, text.indexOf("```", start + 7) - start - 7);
    QCOMPARE(iniValue(example, "Porty", "COM2"), QByteArray("/dev/ttyUSB0"));
    QCOMPARE(iniValue(example, "Porty", "InvertDTR"), QByteArray("1"));
    QCOMPARE(iniValue(example, "Init", "KRVVerze"), QByteArray("1.00"));
    QCOMPARE(iniValue(example, "Znaky", "0"), QByteArray("11111100"));
}

void TestIniReader::repeatedSections_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("repeated");
    QTest::newRow("none") << QByteArray("[a]\nk=1\n[b]\n") << QList<QByteArray>{};
    QTest::newRow("again in other case, named once")
        << QByteArray("\xEF\xBB\xBF[Porty]\n;x\n[Znaky]\n[porty]\nCOM1=x\n[PORTY]\n")
        << QList<QByteArray>{"porty"};
    QTest::newRow("in the order they repeat")
        << QByteArray("[a]\n[b]\n[b]\n[a]\n") << QList<QByteArray>{"b", "a"};
    QTest::newRow("commented out is no section")
        << QByteArray("[a]\n;[a]\n") << QList<QByteArray>{};
    static const char utf16[] = "\xFF\xFE[\0a\0]\0\n\0[\0a\0]\0";
    QTest::newRow("UTF-16") << QByteArray(utf16, sizeof utf16 - 1) << QList<QByteArray>{"a"};
}

void TestIniReader::repeatedSections()
{
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, repeated);
    QCOMPARE(tikvor::repeatedSections(QByteArrayView(text)), repeated);
}

QTEST_APPLESS_MAIN(TestIniReader)
#include "tst_inireader.moc"
