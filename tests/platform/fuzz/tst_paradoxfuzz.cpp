// Damaged copies of real tables, fed to the Paradox reader under the sanitizers: every one is
// either read or refused with the file's name, never a crash, an overread or a hang.

#include "platform/AppError.h"
#include "platform/formats/ParadoxTable.h"
#include "support/FileBytes.h"
#include "support/ParadoxWriter.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Reads every row; returns the refusal's text, or an empty text when the file was read.
QString tryRead(const QString& path)
{
    try {
        ParadoxTable table(path);
        QList<QVariant> values;
        for (int row = 0; row < table.rowCount(); ++row)
            table.readRow(row, values);
        return QString();
    } catch (const AppError& error) {
        return error.text();
    }
}

} // namespace

class TestParadoxFuzz : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void truncatedCopiesAreRefused_data();
    void truncatedCopiesAreRefused();
    void changedBytesAreReadOrRefused_data();
    void changedBytesAreReadOrRefused();

private:
    QTemporaryDir m_dir;
    QMap<QString, QByteArray> m_tables;
};

void TestParadoxFuzz::initTestCase()
{
    // Enough cards for a chain of several blocks; days keyed, with blanks.
    ParadoxWriter::Table cards = ParadoxWriter::cards();
    for (int i = 1; i <= 120; ++i)
        cards.rows.append({i * 2, QStringLiteral("%1AB123C4G").arg(i * 2), 30, QStringLiteral("غير مستخدم"), 30, 15.0, QVariant(),
                           QStringLiteral("ألعاب")});
    ParadoxWriter::Table days = ParadoxWriter::ledgerDays();
    for (int i = 1; i <= 40; ++i)
        days.rows.append({QStringLiteral("%1/01/2024").arg(i, 2, 10, QLatin1Char('0')), i % 3 ? QVariant(i * 1.5) : QVariant()});
    for (const auto& [name, table] :
         {std::pair{QStringLiteral("Card.db"), cards}, std::pair{QStringLiteral("SumDays.DB"), days}}) {
        const QString path = m_dir.filePath(name);
        ParadoxWriter::write(path, table);
        QCOMPARE(tryRead(path), QString());
        m_tables.insert(name, FileBytes::read(path));
    }
}

void TestParadoxFuzz::truncatedCopiesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    for (const QString& name : m_tables.keys())
        QTest::newRow(qPrintable(name)) << name;
}

void TestParadoxFuzz::truncatedCopiesAreRefused()
{
    QFETCH(QString, name);
    const QByteArray whole = m_tables.value(name);
    const QString path = m_dir.filePath(QStringLiteral("cut-") + name);
    // Every length through the header's fields and names, then a stride through the rest.
    for (qsizetype length = 0; length < whole.size(); length += length < 0x200 ? 1 : 37) {
        FileBytes::write(path, whole.left(length));
        const QString refusal = tryRead(path);
        if (!refusal.contains(path))
            QFAIL(qPrintable(QStringLiteral("%1 bytes: \"%2\"").arg(length).arg(refusal)));
    }
}

void TestParadoxFuzz::changedBytesAreReadOrRefused_data()
{
    truncatedCopiesAreRefused_data();
}

void TestParadoxFuzz::changedBytesAreReadOrRefused()
{
    QFETCH(QString, name);
    const QByteArray whole = m_tables.value(name);
    const QString path = m_dir.filePath(QStringLiteral("changed-") + name);
    QList<QPair<qsizetype, char>> changes;
    // Each byte of the header's fixed part turned over, to zero and to its extremes...
    for (qsizetype at = 0; at < 0x100; ++at)
        for (const char value : {char(~whole.at(at)), char(0), char(0x7f), char(0xff)})
            changes.append({at, value});
    // ...every value of the bytes that choose how the rest is read (file type, block size,
    // version: Paradox 3 files have no second header)...
    for (const qsizetype at : {0x04, 0x05, 0x39})
        for (int value = 0; value < 256; ++value)
            changes.append({at, char(value)});
    // ...and bytes anywhere, from a fixed seed so that a failure repeats.
    QRandomGenerator random(20240101);
    for (int i = 0; i < 1500; ++i)
        changes.append({qsizetype(random.bounded(int(whole.size()))), char(random.bounded(256))});

    QElapsedTimer clock;
    clock.start();
    int refused = 0;
    for (const auto& [at, value] : changes) {
        QByteArray copy = whole;
        copy[at] = value;
        FileBytes::write(path, copy);
        const QString refusal = tryRead(path);
        if (!refusal.isEmpty() && !refusal.contains(path))
            QFAIL(qPrintable(QStringLiteral("byte %1 = %2: \"%3\"").arg(at).arg(quint8(value)).arg(refusal)));
        refused += !refusal.isEmpty();
    }
    // Most changes land in text or padding and read fine; the loop stays far from the time-out.
    qInfo("%d of %d changed copies refused", refused, int(changes.size()));
    QVERIFY(refused > 0);
    QVERIFY2(clock.elapsed() < 120000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestParadoxFuzz)
#include "tst_paradoxfuzz.moc"
