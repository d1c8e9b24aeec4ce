#include "platform/CodePage.h"

#include <QtTest>

class TestCodePage : public QObject
{
    Q_OBJECT
private slots:
    void arabicConverterIsPresent();
    void missingConverterIsNamed_data();
    void missingConverterIsNamed();
};

void TestCodePage::arabicConverterIsPresent()
{
    const std::optional<QString> problem = CodePage::converterProblem();
    QVERIFY2(!problem, qPrintable(problem.value_or(QString())));
    // What the start check vouches for: Arabic letters travel as single bytes and back.
    const QString word = QStringLiteral("ألعاب");
    QCOMPARE(CodePage::fromUnicode(word).size(), word.size());
    QCOMPARE(CodePage::toUnicode(CodePage::fromUnicode(word)), word);
}

void TestCodePage::missingConverterIsNamed_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("no such converter") << QByteArray("windows-9999");
    // A converter that exists but does not carry every byte value and back is no use either.
    QTest::newRow("ASCII only") << QByteArray("US-ASCII");
}

void TestCodePage::missingConverterIsNamed()
{
    QFETCH(QByteArray, name);
    const std::optional<QString> problem = CodePage::converterProblem(name.constData());
    QVERIFY(problem);
    QVERIFY(problem->contains(QString::fromLatin1(name)));
    QVERIFY(problem->contains(QStringLiteral("code page")));
}

QTEST_APPLESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
