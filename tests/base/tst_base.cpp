#include "base/batchdialogs.h"
#include "base/linereader.h"
#include "base/runtimeerror.h"
#include "base/textfile.h"
#include "common/files.h"
#include "common/testmain.h"
#include "core/quoteformat.h"
#include "core/quotetable.h"
#include "core/recordlist.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
const QByteArray kUtf8Mark = "\xEF\xBB\xBF", kLeMark = "\xFF\xFE", kBeMark = "\xFE\xFF";
} // namespace

class TestBase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lines_data();
    void lines();
    void openFile_data();
    void openFile();
    void readLinesWithinLimit();
    void appendLines();
    void quoteText_data();
    void quoteText();
    void generalText_data();
    void generalText();
    void recordList();
};

// Both readers of a text file: the file decoded whole and split, and the reader of a line at a time.
void TestBase::lines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("nul");
    QTest::addColumn<LineReader::Failure>("failure"); // the line reader's, for lines of up to 7 bytes
    const auto row = [](const char *tag, const QByteArray &bytes, const QStringList &lines, bool nul = false,
                        LineReader::Failure failure = LineReader::Failure::None) {
        QTest::newRow(tag) << bytes << lines << nul << failure;
    };
    row("empty", "", {});
    row("lf", "a\nb\n", {"a", "b"});
    row("mixed, no final end", "a\r\n\rb\nc", {"a", "", "b", "c"});
    row("only line ends", "\r\n\r\n", {"", ""});
    row("empty lines and mixed ends", "\r\n\ra\n\nb\r", {"", "", "a", "", "b"});
    row("utf-8, a line of 7 bytes", "perch\xc3\xa9\r\n\xe2\x82\xac", {"perché", "€"});
    // Valid UTF-8 in one line does not make the file UTF-8 when another line is not.
    row("windows-1252 as a whole", "\xc3\xa9\n\xe9\x80", {"Ã©", "é€"});
    row("cut UTF-8 sequence at the end", "a\n\xc3", {"a", "Ã"});
    row("utf-8 mark", kUtf8Mark + "a\r\n\xc3\xa9", {"a", "é"});
    row("utf-16le mark", kLeMark + "a\0\r\0\n\0\xe9\0\r\0"_ba, {"a", "é"});
    row("utf-16be mark", kBeMark + "\0a\0\n\x20\xac"_ba, {"a", "€"});
    // Only the first mark is one: another U+FEFF is a character of the line.
    row("mark inside utf-8", "a\n" + kUtf8Mark + "b", {"a", u"\uFEFFb"_s});
    row("utf-8 mark twice", kUtf8Mark + kUtf8Mark + "a", {u"\uFEFFa"_s});
    row("utf-16le mark twice", kLeMark + kLeMark + "a\0"_ba, {u"\uFEFFa"_s});
    row("utf-16be mark twice", kBeMark + kBeMark + "\0a"_ba, {u"\uFEFFa"_s});
    // Half a unit at the end is a character that cannot be read, whether or not whole units come before it.
    row("utf-16 odd byte alone", kLeMark + "\xcb", {u"\uFFFD"_s});
    row("utf-16 odd byte at the end", kLeMark + "a\0\n\0b"_ba, {"a", u"\uFFFD"_s});
    row("nul", "a\nb\0c\n"_ba, {}, true);
    row("utf-16 nul", kLeMark + "a\0\0\0"_ba, {}, true);
    // Nothing is read past a line over the limit, though lines follow it.
    row("line too long", "abcdefg\r\nabcdefgh\nf", {"abcdefg"}, false, LineReader::Failure::LineTooLong);
    row("utf-16 line too long", kLeMark + "a\0b\0c\0d\0"_ba, {}, false, LineReader::Failure::LineTooLong);
}

void TestBase::lines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(bool, nul);
    QFETCH(LineReader::Failure, failure);
    if (!nul && failure == LineReader::Failure::None)
        QCOMPARE(TextFile::splitLines(TextFile::decode(bytes)), lines);
    // Tiny blocks cut every CR LF, UTF-8 sequence and UTF-16 unit somewhere.
    for (const qint64 block : {1, 2, 3, 5, 4096}) {
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        LineReader reader(buffer, 7, block);
        QVERIFY(reader.scan());
        QCOMPARE(reader.hasNul(), nul);
        if (nul)
            continue;
        if (failure == LineReader::Failure::None)
            QCOMPARE(reader.lineCount(), lines.size());
        QStringList read;
        QString line;
        while (reader.next(line))
            read << line;
        QCOMPARE(read, lines);
        QCOMPARE(reader.failure(), failure);
        QVERIFY(!reader.next(line));
    }
}

void TestBase::openFile_data()
{
    QTest::addColumn<bool>("append");  // else read
    QTest::addColumn<QString>("name"); // in the temporary folder unless absolute
    QTest::addColumn<QString>("error");
    const auto row = [](const char *tag, bool append, const char *name, const char *error) {
        QTest::newRow(tag) << append << QString(name) << QString(error);
    };
    const char *access = "Errore di accesso al percorso/file";
    row("read a regular file", false, "file.txt", "");
    row("read a missing file", false, "manca.txt", "Impossibile trovare il file");
    row("read in a missing folder", false, "manca/file.txt", "Impossibile trovare il percorso");
    row("read a folder", false, ".", access);
    row("read a fifo, without waiting for a writer", false, "fifo", access);
    row("read a device", false, "/dev/zero", access);
    row("append to a regular file", true, "file.txt", "");
    row("append to a new file", true, "nuovo.txt", "");
    row("append in a missing folder", true, "manca/file.txt", "Impossibile trovare il percorso");
    row("append to a fifo without a reader, without waiting for one", true, "fifo", access);
    row("append to a fifo with a reader", true, "read fifo", access);
    row("append to a device", true, "/dev/null", "");
}

void TestBase::openFile()
{
    QFETCH(bool, append);
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath("file.txt"), "x"));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    int readEnd = -1; // a reader that never reads
    if (name == QLatin1String("read fifo")) {
        name = QStringLiteral("fifo");
        readEnd = ::open(QFile::encodeName(dir.filePath("fifo")).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(readEnd >= 0);
    }
    QFile file(QDir(dir.path()).filePath(name));
    const RuntimeError error = append ? TextFile::openForAppending(file) : TextFile::openForReading(file);
    if (readEnd >= 0)
        ::close(readEnd);
    QTEST(error.description, "error");
    QCOMPARE(file.isOpen(), !error.isError());
}

void TestBase::readLinesWithinLimit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zantoro.TXT");
    QVERIFY(writeFile(path, "EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\n"));
    TextFile::ReadResult read = TextFile::readLines(path, 20); // the third line is cut: left out
    QCOMPARE(read.lines, (QStringList{"EUR/USD", "EUR/CHF"}));
    QVERIFY(read.truncated && !read.error.isError());
    read = TextFile::readLines(path, 27);
    QCOMPARE(read.lines, (QStringList{"EUR/USD", "EUR/CHF", "EUR/JPY"}));
    QVERIFY(!read.truncated);
}

void TestBase::appendLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("storico.txt"));
    QVERIFY(!TextFile::appendLines(path, {QStringLiteral("uno")}).isError());
    QVERIFY(!TextFile::appendLines(path, {QStringLiteral("due"), QStringLiteral("tre")}).isError());
    QCOMPARE(fileBytes(path), QByteArray("uno\r\ndue\r\ntre\r\n")); // CR LF, nothing truncated

    const RuntimeError error =
        TextFile::appendLines(dir.filePath(QStringLiteral("manca/storico.txt")), {"x"});
    QCOMPARE(error.number, ErrorNumber::PathNotFound);
    QCOMPARE(error.description, QStringLiteral("Impossibile trovare il percorso"));
}

void TestBase::quoteText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("four decimals") << 1.0734 << "1,0734";
    QTest::newRow("two decimals") << 1.07 << "1,0700";
    QTest::newRow("below one") << 0.6 << "0,6000";
    QTest::newRow("three digits") << 127.45 << "127,45";
    QTest::newRow("cut") << 1.23456789 << "1,2345";
    QTest::newRow("one decimal") << 1.5 << "1,5000";
    QTest::newRow("whole") << 2.0 << "2,0000";
    QTest::newRow("zero") << 0.0 << "0,0000";
    QTest::newRow("131,25") << 131.25 << "131,25";
    QTest::newRow("exponent, no separator added") << 1e-5 << "1E-050";
    QTest::newRow("huge") << 1e300 << "1E+300";
    QTest::newRow("large whole") << 123456789.0 << "123456";
    QTest::newRow("unavailable mark") << -1.0 << "-1,000";
}

void TestBase::quoteText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(::quoteText(value), text);
    QCOMPARE(QuoteFormat().quoteText(value), text);
    char16_t written[QuoteFormat::quoteTextSize];
    QuoteFormat().writeQuoteText(value, written);
    QCOMPARE(QStringView(written, QuoteFormat::quoteTextSize), text);
}

void TestBase::generalText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("unavailable"); // the text of -1
    const auto row = [](const char *name, const char *locale, double value, const QString &text,
                        bool unavailable = false) {
        QTest::newRow(name) << QString(locale) << value << text << unavailable;
    };
    row("exponent below 1e-4", "it_IT", 0.00001234, "1,234E-05");
    row("no exponent at 1e14", "it_IT", 1e14, "100000000000000");
    row("exponent at 1e15", "it_IT", 1e15, "1E+15");
    row("rounded to fifteen", "it_IT", 1.23456789012345678, "1,23456789012346");
    row("half way: away from zero", "it_IT", 1.000030517578125, "1,00003051757813");
    row("half way, large", "it_IT", 123456789012345.5, "123456789012346");
    row("half way, negative", "it_IT", -1.000030517578125, "-1,00003051757813");
    row("smallest double", "it_IT", 5e-324, "4,94065645841247E-324");
    row("negative zero", "it_IT", -0.0, "0");
    row("infinity", "it_IT", std::numeric_limits<double>::infinity(), "inf");
    row("minus one", "it_IT", -1.0, "-1", true);
    row("within fifteen digits of minus one", "it_IT", -1.0000000000000002, "-1", true);
    row("near minus one", "it_IT", -1.00001, "-1,00001");
    row("plus one", "it_IT", 1.0, "1");
    row("C locale", "C", 131.25, "131.25");
    row("C locale exponent", "C", 1e300, "1e+300");
    row("minus sign of its own", "sv_SE", -1.5, u"\u22121,5"_qs, false);
    row("digits of its own", "ar_EG", 1.5, u"\u0661\u066b\u0665"_qs);
}

void TestBase::generalText()
{
    QFETCH(QString, locale);
    QFETCH(double, value);
    const QuoteFormat format{QLocale(locale)};
    QTEST(format.generalText(value), "text");
    QTEST(format.isUnavailableMark(value), "unavailable");
}

// A listing's lines are written from the day and quote of each record; the lines of the history
// file are kept as read.
void TestBase::recordList()
{
    RecordList::Builder builder(QStringLiteral("EUR/USD"));
    builder.append(u"20030315", 1.0734);
    builder.appendPlain("20030316", 2);
    builder.append(u"2003/21/", 0.6);
    builder.append(u"00010101", 131.25);
    QCOMPARE(builder.lastDate(), QStringLiteral("00010101"));
    const RecordList lines = builder.finish();
    const QStringList expected = {"15-03-2003 - 1,0734 - EUR/USD", "16-03-2003 - 2,0000 - EUR/USD",
                                  "1/-/2-2003 - 0,6000 - EUR/USD", "01-01-0001 - 131,25 - EUR/USD"};
    QCOMPARE(lines.toStringList(), expected);
    RecordList::LineBuffer buffer;
    QCOMPARE(lines.line(2, buffer), expected[2]);
    QCOMPARE(lines.line(1), expected[1]);

    const RecordList read = RecordList::ofTexts({"riga uno", "riga due"});
    QCOMPARE(read.size(), 2);
    QCOMPARE(read.line(1, buffer), QStringLiteral("riga due"));
}

QUOTAZIONI_TEST_MAIN(TestBase)
#include "tst_base.moc"
