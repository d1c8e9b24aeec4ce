#include "accounting/AuditReport.h"
#include "accounting/ui/AuditWindow.h"
#include "accounting/ui/ControlWindow.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/SessionKind.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/store/Sqlite.h"
#include "platform/ui/MessageBoxes.h"
#include "support/ControlWindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {
const QString Stored = QStringLiteral("تم التخزين بنجاح");
} // namespace

// What the central control window leaves in the audit record, and the owner's view of it.
class TestAuditEvents : public QObject, private ControlWindowFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void tariffChangeRecordsEachChangedTariff_data();
    void tariffChangeRecordsEachChangedTariff();
    void recomputeRecordsTheChangedTotals();
    void unwritableAuditKeepsTheTariffAndTellsTheOperator();
    void buttonInFreeSpace();
    void ownersViewFiltersAndPrints();
    void ownersViewShowsABrokenChainInRed();

private:
    void saveTariffs(const QString& games, const QString& internet);
};

void TestAuditEvents::init()
{
    openControlWindow("0.5\r\n0.5");
    QVERIFY(Audit::create()); // as the setup program makes it
}

void TestAuditEvents::cleanup()
{
    closeControlWindow();
}

void TestAuditEvents::saveTariffs(const QString& games, const QString& internet)
{
    edit("Edit2")->setText(games);
    edit("Edit3")->setText(internet);
    QTest::mouseClick(button("BitBtn2"), Qt::LeftButton);
}

void TestAuditEvents::tariffChangeRecordsEachChangedTariff_data()
{
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("internet");
    QTest::addColumn<QStringList>("recorded"); // kind: old -> new

    const QString g = SessionKind::GamesWord;
    const QString i = SessionKind::InternetWord;
    QTest::newRow("games") << "0.25"
                           << "0.5" << QStringList{g + ": 0.5 -> 0.25"};
    QTest::newRow("both") << "1"
                          << "0.75" << QStringList{g + ": 0.5 -> 1", i + ": 0.5 -> 0.75"};
    QTest::newRow("the same text saved again") << "0.5"
                                               << "0.5" << QStringList{};
    QTest::newRow("refused: nothing saved, nothing recorded") << "11"
                                                              << "0.75" << QStringList{};
}

void TestAuditEvents::tariffChangeRecordsEachChangedTariff()
{
    QFETCH(QString, games);
    QFETCH(QString, internet);
    QFETCH(QStringList, recorded);
    saveTariffs(games, internet);

    QStringList seen;
    for (const Audit::Row& row : Audit::rows()) {
        QCOMPARE(row.event.event, Audit::Events::TariffChange);
        seen.append(QStringLiteral("%1: %2 -> %3").arg(row.event.kind, row.event.oldValue, row.event.newValue));
    }
    QCOMPARE(seen, recorded);
    QCOMPARE(m_boxes.size(), 1); // the answer alone: no audit problem
}

void TestAuditEvents::recomputeRecordsTheChangedTotals()
{
    Clock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    m_ledger->recordSession({"15", "PC01", true, "0.5"});
    Clock::setFixed(QDateTime(QDate(2026, 12, 11), QTime(10, 0)));
    m_ledger->recordSession({"60", "PC02", true, "0.5"});
    m_window->openWindow();
    QTest::mouseClick(button("BitBtn12"), Qt::LeftButton);
    QTest::mouseClick(button("BitBtn12"), Qt::LeftButton);
    m_ledger->recordSession({"10", "PC01", true, "1"});
    m_window->openWindow();
    QTest::mouseClick(button("BitBtn12"), Qt::LeftButton);

    QStringList texts;
    for (const Audit::Row& row : Audit::rows()) {
        QCOMPARE(row.event.event, Audit::Events::Recompute);
        texts.append(row.event.text);
    }
    QCOMPARE(texts,
             (QStringList{"2 days, 2 totals changed: 10/12/2026: none -> 7.5; 11/12/2026: none -> 30", "2 days, 0 totals changed",
                          "2 days, 1 totals changed: 11/12/2026: 30 -> 40"}));
    QVERIFY(m_boxes.isEmpty());
}

// The change stands and the operator is told both; the next row that can be written tells the gap.
void TestAuditEvents::unwritableAuditKeepsTheTariffAndTellsTheOperator()
{
    const QString record = m_prefix->local(InstallPaths::AuditDir + QStringLiteral("\\Audit.db"));
    QVERIFY(QFile::remove(record));
    QVERIFY(QDir().mkpath(record));
    saveTariffs("0.25", "0.5");
    QCOMPARE(m_prefix->readFile(InstallPaths::TariffFile), QByteArray("0.25\r\n0.5"));
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.contains(QStringLiteral("Cannot write the audit record")), qPrintable(m_boxes.at(0).text));
    QCOMPARE(m_boxes.at(1).text, Stored);

    QVERIFY(QDir().rmdir(record));
    saveTariffs("0.25", "0.75");
    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).event.event, Audit::Events::Gap);
    QCOMPARE(rows.at(0).event.newValue, QStringLiteral("1"));
    QCOMPARE(rows.at(1).event.newValue, QStringLiteral("0.75"));
    QVERIFY(Audit::verify().whole);
}

void TestAuditEvents::buttonInFreeSpace()
{
    QPushButton* audit = button("AuditButton");
    QVERIFY(audit);
    QCOMPARE(audit->text(), QStringLiteral("سجل الأحداث"));
    for (QWidget* other : m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != audit && other->isVisibleTo(m_window.get()))
            QVERIFY2(!other->geometry().intersects(audit->geometry()), qPrintable(other->objectName()));
    }
}

void TestAuditEvents::ownersViewFiltersAndPrints()
{
    Clock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    saveTariffs("0.25", "0.5");
    Audit::Event station;
    station.event = Audit::Events::SessionOpen;
    station.station = QStringLiteral("PC03");
    station.minutes = 30;
    station.amount = 15;
    QVERIFY(!Audit::record(station));
    Clock::setFixed(QDateTime(QDate(2026, 12, 11), QTime(10, 0)));
    saveTariffs("0.25", "1");

    QTest::mouseClick(button("AuditButton"), Qt::LeftButton);
    AuditWindow* view = m_window->auditWindow();
    QVERIFY(view && view->isVisible());
    QCOMPARE(view->shown().size(), 3);
    QVERIFY(view->findChild<QLabel*>("ChainLabel")
                ->text()
                .startsWith(QStringLiteral("السجل سليم: عدد الأحداث 3، رأس السلسلة \u20663:")));

    struct Case
    {
        const char* box;
        QString value;
        QList<qint64> serials;
    };
    for (const Case& c : {Case{"DayBox", "2026-12-10", {1, 2}}, Case{"StationBox", "PC03", {2}},
                          Case{"EventBox", Audit::Events::TariffChange, {1, 3}}}) {
        auto* box = view->findChild<QComboBox*>(c.box);
        box->setCurrentIndex(box->findData(c.value));
        QList<qint64> serials;
        for (const Audit::Row& row : view->shown())
            serials.append(row.serial);
        QCOMPARE(serials, c.serials);
        box->setCurrentIndex(0);
    }
    auto* events = view->findChild<QComboBox*>("EventBox");
    QVERIFY(events->findText(QStringLiteral("تغيير التعرفة")) > 0);
    QCOMPARE(view->findChild<QTableWidget*>("EventGrid")->item(1, 3)->text(), QStringLiteral("PC03"));

    QTemporaryDir out;
    QCOMPARE(view->writePdf(out.filePath("audit.pdf")), 1);
    QVERIFY(QFileInfo(out.filePath("audit.pdf")).size() > 0);
}

void TestAuditEvents::ownersViewShowsABrokenChainInRed()
{
    saveTariffs("0.25", "0.5");
    saveTariffs("0.3", "0.5");
    {
        Sqlite::Connection db = Sqlite::open(Audit::localPath(), SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(),
                     QStringLiteral("DROP TRIGGER \"AuditKeepFields\"; UPDATE Audit SET NewValue = '0.1' WHERE Serial = 1"));
    }
    QTest::mouseClick(button("AuditButton"), Qt::LeftButton);
    auto* chain = m_window->auditWindow()->findChild<QLabel*>("ChainLabel");
    QVERIFY2(chain->text().contains(QStringLiteral("row 1 was changed")), qPrintable(chain->text()));
    QVERIFY(chain->styleSheet().contains(QStringLiteral("red")));
}

QTEST_MAIN(TestAuditEvents)

#include "tst_auditevents.moc"
