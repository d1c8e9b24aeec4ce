#include "platform/AppError.h"
#include "platform/formats/ParadoxTable.h"
#include "support/FileBytes.h"
#include "support/ParadoxWriter.h"

#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

using Type = ParadoxTable::Type;

void put16(QByteArray& b, int at, int value)
{
    b[at] = char(value & 0xff);
    b[at + 1] = char((value >> 8) & 0xff);
}
int get16(const QByteArray& b, int at)
{
    return quint8(b.at(at)) | (quint8(b.at(at + 1)) << 8);
}

// The place of data block n (from 1) in a file written by pxlib.
int blockAt(const QByteArray& b, int n)
{
    return get16(b, 0x02) + (n - 1) * quint8(b.at(0x05)) * 1024;
}

// 100 cards over three blocks: Arabic text, blank text and numbers, zero and negative values,
// serials with gaps.
ParadoxWriter::Table sampleCards()
{
    ParadoxWriter::Table t = ParadoxWriter::cards();
    for (int i = 1; i <= 100; ++i) {
        const bool blankRow = i % 10 == 0;
        t.rows.append({i * 3 + (i > 50 ? 1000 : 0), QStringLiteral("%1EF567G8H").arg(i * 3),
                       blankRow ? QVariant() : QVariant(i % 2 ? 60 : 0), QStringLiteral("غير مستخدم"),
                       blankRow ? QVariant() : QVariant(-i), blankRow ? QVariant() : QVariant(i * 0.25),
                       i % 7 ? QVariant() : QVariant(QStringLiteral("2024/01/0%1").arg(i % 9)),
                       i % 2 ? QStringLiteral("ألعاب") : QStringLiteral("أنترنيت")});
    }
    t.autoIncrement = 2000;
    return t;
}

} // namespace

class TestParadoxTable : public QObject
{
    Q_OBJECT
private slots:
    void readsEveryField();
    void readsBlankTextAsEmptyNotZero();
    void refusesDamagedOrForeignFiles_data();
    void refusesDamagedOrForeignFiles();

private:
    QTemporaryDir m_dir;
};

void TestParadoxTable::readsEveryField()
{
    const ParadoxWriter::Table written = sampleCards();
    const QString path = m_dir.filePath(QStringLiteral("Card.db"));
    ParadoxWriter::write(path, written);

    ParadoxTable table(path);
    QCOMPARE(table.codePage(), 1256);
    QCOMPARE(table.autoIncrement(), 2000);
    QStringList fields;
    for (const ParadoxTable::Field& f : table.fields())
        fields.append(QStringLiteral("%1 %2 %3").arg(f.name, ParadoxTable::typeName(f.code)).arg(f.size));
    QCOMPARE(fields.join(u", "),
             QStringLiteral("Auto auto-increment 4, Num alpha 20, Time1 short integer 2, "
                            "Used alpha 15, ReminTime short integer 2, Cost number 8, "
                            "UseFirstTime alpha 20, Kind alpha 10"));
    QCOMPARE(table.rowCount(), written.rows.size());
    QList<QVariant> values;
    for (int row = 0; row < table.rowCount(); ++row) {
        table.readRow(row, values);
        for (int f = 0; f < values.size(); ++f) {
            const QVariant& expected = written.rows.at(row).at(f);
            const QVariant& got = values.at(f);
            const bool same = expected.isNull() ? got.isNull()
                : expected.typeId() == QMetaType::Double
                ? got.typeId() == QMetaType::Double && got.toDouble() == expected.toDouble()
                : expected.typeId() == QMetaType::QString
                ? got.typeId() == QMetaType::QString && got == expected
                : got.typeId() == QMetaType::LongLong && got.toLongLong() == expected.toLongLong();
            if (!same)
                QFAIL(qPrintable(
                    QStringLiteral("row %1 field %2: %3, expected %4").arg(row).arg(f).arg(got.toString(), expected.toString())));
        }
    }
}

void TestParadoxTable::readsBlankTextAsEmptyNotZero()
{
    // A blank key and a blank total, next to a total of 0, which Paradox keeps apart.
    ParadoxWriter::Table days = ParadoxWriter::ledgerDays();
    days.rows = {{QVariant(), QVariant()}, {QStringLiteral("01/02/2024"), 0.0}, {QStringLiteral("02/02/2024"), -12.5}};
    const QString path = m_dir.filePath(QStringLiteral("SumDays.DB"));
    ParadoxWriter::write(path, days);
    ParadoxTable table(path);
    QList<QVariant> values;
    table.readRow(0, values);
    QVERIFY(values.at(0).isNull());
    QVERIFY(values.at(1).isNull());
    table.readRow(1, values);
    QCOMPARE(values.at(1), QVariant(0.0));
    table.readRow(2, values);
    QCOMPARE(values, (QList<QVariant>{QStringLiteral("02/02/2024"), -12.5}));
}

void TestParadoxTable::refusesDamagedOrForeignFiles_data()
{
    QTest::addColumn<std::function<void(QByteArray&)>>("damage");
    QTest::addColumn<QString>("reason");

    using Damage = std::function<void(QByteArray&)>;
    QTest::newRow("empty") << Damage([](QByteArray& b) { b.clear(); }) << "too short for a Paradox header";
    QTest::newRow("an SQLite file") << Damage([](QByteArray& b) { b = QByteArray("SQLite format 3") + QByteArray(4081, '\0'); })
                                    << "not a Paradox table";
    QTest::newRow("a primary index") << Damage([](QByteArray& b) { b[0x04] = 1; }) << "index or other file";
    QTest::newRow("odd block size") << Damage([](QByteArray& b) { b[0x05] = 5; }) << "block size of 5 KiB";
    QTest::newRow("password") << Damage([](QByteArray& b) { b[0x5C] = 0x12; }) << "protected by a password";
    QTest::newRow("record size") << Damage([](QByteArray& b) { put16(b, 0x00, get16(b, 0x00) + 1); })
                                 << "does not match its fields";
    QTest::newRow("no fields") << Damage([](QByteArray& b) { put16(b, 0x21, 0); }) << "states 0 fields";
    QTest::newRow("short of four bytes") << Damage([](QByteArray& b) { b[0x78 + 2 * 2 + 1] = 4; }) << "has a size of 4 bytes";
    QTest::newRow("header beyond the file") << Damage([](QByteArray& b) { put16(b, 0x02, 0x7000); }) << "header size";
    QTest::newRow("header too small for the names") << Damage([](QByteArray& b) { put16(b, 0x02, 0x100); }) << "past";
    QTest::newRow("last block cut") << Damage([](QByteArray& b) { b.chop(1); }) << "ends before its 3 data blocks";
    QTest::newRow("chain loops") << Damage([](QByteArray& b) { put16(b, blockAt(b, 2), 1); }) << "loops back to block 1";
    QTest::newRow("first block where the header counts none") << Damage([](QByteArray& b) {
        put16(b, 0x0C, 0);
        b[0x06] = 0;
    }) << "points to block 1 of 0";
    QTest::newRow("chain leaves the file") << Damage([](QByteArray& b) { put16(b, blockAt(b, 1), 99); }) << "points to block 99";
    QTest::newRow("more rows than blocks hold")
        << Damage([](QByteArray& b) { b[0x06] = char(b[0x06] + 1); }) << "header counts 101 rows";
    QTest::newRow("block size not whole rows")
        << Damage([](QByteArray& b) { put16(b, blockAt(b, 1) + 4, 5); }) << "data block 1 states 5 bytes";
    QTest::newRow("block fuller than a block")
        << Damage([](QByteArray& b) { put16(b, blockAt(b, 1) + 4, 0x7ff0); }) << "does not fit";
}

void TestParadoxTable::refusesDamagedOrForeignFiles()
{
    QFETCH(std::function<void(QByteArray&)>, damage);
    QFETCH(QString, reason);
    const QString path = m_dir.filePath(QStringLiteral("damaged.db"));
    ParadoxWriter::write(path, sampleCards());
    QByteArray bytes = FileBytes::read(path);
    damage(bytes);
    FileBytes::write(path, bytes);
    try {
        ParadoxTable table(path);
        QFAIL("read a damaged file");
    } catch (const AppError& error) {
        QVERIFY2(error.text().contains(QLatin1Char('"') + path + QLatin1Char('"')), qPrintable(error.text()));
        QVERIFY2(error.text().contains(reason), qPrintable(error.text()));
    }
    QCOMPARE(FileBytes::read(path), bytes);
}

QTEST_GUILESS_MAIN(TestParadoxTable)
#include "tst_paradoxtable.moc"
