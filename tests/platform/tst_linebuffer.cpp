#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "support/TestPrefix.h"

#include <QtTest>

class TestLineBuffer : public QObject
{
    Q_OBJECT
private slots:
    void splitsLines_data();
    void splitsLines();
    void readsBeyondEndAsEmpty();
    void cutsLongLines();
    void writeNeverGrows_data();
    void writeNeverGrows();
    void savesUntouchedBytesExactly();
    void failedLoadKeepsContent();
    void decodesArabicCodePage();
};

void TestLineBuffer::splitsLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("empty text is one line") << QByteArray() << QStringList{""} << QByteArray();
    QTest::newRow("CR LF") << QByteArray("a\r\nb") << QStringList{"a", "b"} << QByteArray("a\r\nb");
    QTest::newRow("final break adds a line") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b", ""} << QByteArray("a\r\nb\r\n");
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QStringList{"a", "b", ""} << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone CR") << QByteArray("a\rb") << QStringList{"a", "b"} << QByteArray("a\r\nb");
    QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QStringList{"a", "", "b"} << QByteArray("a\r\n\r\nb");
    QTest::newRow("mixed") << QByteArray("1\r2\n3\r\n") << QStringList{"1", "2", "3", ""} << QByteArray("1\r\n2\r\n3\r\n");
    QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{"", ""} << QByteArray("\r\n");
}

void TestLineBuffer::splitsLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, saved);
    const LineBuffer buffer(file);
    QCOMPARE(buffer.lineCount(), lines.size());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(buffer.line(i), lines.at(i));
    QCOMPARE(buffer.text(), saved);
}

void TestLineBuffer::readsBeyondEndAsEmpty()
{
    const LineBuffer buffer("a\r\nb");
    QCOMPARE(buffer.line(2), QString());
    QCOMPARE(buffer.line(1000), QString());
    QCOMPARE(buffer.line(-1), QString());
}

void TestLineBuffer::cutsLongLines()
{
    const QByteArray longLine(5000, 'x');
    const LineBuffer buffer(longLine + "\r\nnext");
    QCOMPARE(buffer.line(0).size(), 4096);
    QCOMPARE(buffer.line(1), QStringLiteral("next"));
    // Reading a line cuts only what is returned; the line itself is saved whole.
    QCOMPARE(buffer.text(), longLine + "\r\nnext");
}

void TestLineBuffer::writeNeverGrows_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("inside") << QByteArray("0\r\n0\r\n0") << 1 << QByteArray("0\r\n1\r\n0");
    QTest::newRow("last line, no final break") << QByteArray("0\r\n0") << 1 << QByteArray("0\r\n1");
    QTest::newRow("the empty line after a final break") << QByteArray("0\r\n0\r\n") << 2 << QByteArray("0\r\n0\r\n1");
    QTest::newRow("beyond the end") << QByteArray("0\r\n0") << 2 << QByteArray("0\r\n0");
    QTest::newRow("far beyond, LF normalised") << QByteArray("0\n0") << 7 << QByteArray("0\r\n0");
}

void TestLineBuffer::writeNeverGrows()
{
    QFETCH(QByteArray, file);
    QFETCH(int, index);
    QFETCH(QByteArray, saved);
    LineBuffer buffer(file);
    buffer.setLine(index, QStringLiteral("1"));
    QCOMPARE(buffer.text(), saved);
}

void TestLineBuffer::savesUntouchedBytesExactly()
{
    TestPrefix prefix;
    QByteArray odd;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            odd.append(char(b));
    }
    const QByteArray file = "0\r\n" + odd + "\r\n0\r\n";
    const QString path = QStringLiteral("C:\\data\\bytes.inf");
    prefix.writeFile(path, file);

    LineBuffer buffer;
    buffer.load(path);
    QCOMPARE(buffer.lineCount(), 4);
    buffer.setLine(0, QStringLiteral("1"));
    buffer.save(path);
    QCOMPARE(prefix.readFile(path), "1\r\n" + odd + "\r\n0\r\n");
}

void TestLineBuffer::failedLoadKeepsContent()
{
    TestPrefix prefix;
    LineBuffer buffer("Memo1\r\n");
    QVERIFY_THROWS_EXCEPTION(AppError, buffer.load(QStringLiteral("C:\\missing.inf")));
    QCOMPARE(buffer.text(), QByteArray("Memo1\r\n"));
}

void TestLineBuffer::decodesArabicCodePage()
{
    // "ألعاب" in the Arabic code page is one byte a letter.
    const QByteArray bytes("\xC3\xE1\xDA\xC7\xC8");
    LineBuffer buffer(bytes + "\r\nx");
    QCOMPARE(buffer.line(0), QStringLiteral("ألعاب"));
    buffer.setLine(1, QStringLiteral("أنترنيت"));
    QCOMPARE(buffer.text(), bytes + "\r\n\xC3\xE4\xCA\xD1\xE4\xED\xCA");
}

QTEST_APPLESS_MAIN(TestLineBuffer)
#include "tst_linebuffer.moc"
