#include "install/InstallPaths.h"
#include "install/ui/InstallOffer.h"
#include "platform/ui/MessageBoxes.h"
#include "support/FileBytes.h"
#include "support/TestPrefix.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// Answers the offer when it shows, and keeps what it said.
struct OfferAnswer
{
    QMessageBox::StandardButton button;
    QString text;
    int shown = 0;

    void arm()
    {
        QTimer::singleShot(0, qApp, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->objectName() != QLatin1String("InstallOfferBox"))
                return;
            ++shown;
            text = box->text();
            box->button(button)->click();
        });
    }
};

} // namespace

class TestInstallOffer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void existingInstallIsEnteredWithoutAsking();
    void acceptedOfferMakesTheInstallWithoutDemo();
    void declinedOfferMakesNothing();
    void installThatCannotBeMadeIsNamed();

private:
    QStringList m_errors;
};

void TestInstallOffer::init()
{
    m_errors.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_errors << box.text; });
}

void TestInstallOffer::cleanup()
{
    MessageBoxes::setRecorderForTests({});
}

void TestInstallOffer::existingInstallIsEnteredWithoutAsking()
{
    TestPrefix prefix;
    prefix.makeTables();
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    OfferAnswer answer{QMessageBox::No, {}};
    answer.arm();
    QVERIFY(enterInstallOrOffer(QString()));
    QCOMPARE(answer.shown, 0);
    QCOMPARE(QDir::currentPath(), prefix.installDir());
    QVERIFY(m_errors.isEmpty());
}

void TestInstallOffer::acceptedOfferMakesTheInstallWithoutDemo()
{
    TestPrefix prefix;
    QVERIFY(QDir(prefix.installDir()).removeRecursively());
    QTemporaryDir elsewhere;
    QTemporaryDir programs;
    FileBytes::write(programs.filePath(InstallPaths::CardProgram), "card creator");
    QDir::setCurrent(elsewhere.path());
    OfferAnswer answer{QMessageBox::Yes, {}};
    answer.arm();

    QVERIFY(enterInstallOrOffer(programs.path()));
    QCOMPARE(answer.shown, 1);
    // The operator is told where the install goes before it is made.
    QVERIFY2(answer.text.contains(prefix.installDir()), qPrintable(answer.text));
    QCOMPARE(QDir::currentPath(), prefix.installDir());
    QVERIFY(QFileInfo::exists(prefix.local(InstallPaths::LedgerDir + QStringLiteral("\\SumDays.DB"))));
    QVERIFY(QFileInfo::exists(prefix.local(InstallPaths::CardDir + QStringLiteral("\\Card.db"))));
    QCOMPARE(QFileInfo(prefix.installDir() + QStringLiteral("/Card.exe")).symLinkTarget(),
             programs.filePath(InstallPaths::CardProgram));
    QCOMPARE(prefix.readFile(InstallPaths::InstallRoot + QLatin1Char('\\') + InstallPaths::RosterFile), QByteArray());
    QVERIFY(!QFileInfo::exists(prefix.root() + QStringLiteral("/unc")));
    QVERIFY(m_errors.isEmpty());
}

void TestInstallOffer::declinedOfferMakesNothing()
{
    TestPrefix prefix;
    QVERIFY(QDir(prefix.installDir()).removeRecursively());
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    OfferAnswer answer{QMessageBox::No, {}};
    answer.arm();

    QVERIFY(!enterInstallOrOffer(QString()));
    QCOMPARE(answer.shown, 1);
    QVERIFY(!QFileInfo::exists(prefix.installDir()));
    QCOMPARE(QDir::currentPath(), elsewhere.path());
    QVERIFY(m_errors.isEmpty());
}

void TestInstallOffer::installThatCannotBeMadeIsNamed()
{
    TestPrefix prefix;
    QVERIFY(QDir(prefix.root() + QStringLiteral("/drive_c")).removeRecursively());
    // A file where the drive's folder should be: nothing of the tree can be made.
    FileBytes::write(prefix.root() + QStringLiteral("/drive_c"), "not a folder");
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    OfferAnswer answer{QMessageBox::Yes, {}};
    answer.arm();

    QVERIFY(!enterInstallOrOffer(QString()));
    QCOMPARE(answer.shown, 1);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().contains(prefix.installDir()), qPrintable(m_errors.first()));
    QVERIFY2(m_errors.first().contains(QStringLiteral("failed to create directory")), qPrintable(m_errors.first()));
    QCOMPARE(QDir::currentPath(), elsewhere.path());
}

QTEST_MAIN(TestInstallOffer)
#include "tst_installoffer.moc"
