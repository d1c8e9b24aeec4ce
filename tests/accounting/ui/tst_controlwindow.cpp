#include "accounting/ui/ControlWindow.h"
#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "support/ControlWindowFixture.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

namespace {
const QString InputError = QStringLiteral("يوجد خطأ في إدخال البيانات");
const QString Stored = QStringLiteral("تم التخزين بنجاح");
} // namespace

class TestControlWindow : public QObject, private ControlWindowFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void savesTariffs_data();
    void savesTariffs();
    void oneLineTariffFileGetsBothTariffs_data();
    void oneLineTariffFileGetsBothTariffs();
    void failedSaveKeepsTheOldFile();
    void unsavedTariffsLastUntilClosing();
    void unreadableTariffFileKeepsTheWindowOpen();
    void gridsShowTheLedger();
    void selectingADayShowsItsEntries();
    void recomputeFromTheButton();
    void missingLedgerTablesStillShowTheWindow();
    void closingClosesTheTables();
};

void TestControlWindow::init()
{
    openControlWindow("0.5\r\n0.5\r\nkept");
}

void TestControlWindow::cleanup()
{
    closeControlWindow();
}

void TestControlWindow::savesTariffs_data()
{
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("internet");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QByteArray>("file");

    const QByteArray unchanged = "0.5\r\n0.5\r\nkept";
    QTest::newRow("10 saved") << "10"
                              << "0.25" << Stored << QMessageBox::NoIcon << QByteArray("10\r\n0.25\r\nkept");
    QTest::newRow("10.01 refused") << "10.01"
                                   << "0.25" << InputError << QMessageBox::NoIcon << unchanged;
    QTest::newRow("0 saved") << "0"
                             << "0.25" << Stored << QMessageBox::NoIcon << QByteArray("0\r\n0.25\r\nkept");
    QTest::newRow("-0.5 refused") << "-0.5"
                                  << "0.25" << InputError << QMessageBox::NoIcon << unchanged;
    QTest::newRow("letters: conversion error")
        << "abc"
        << "0.25"
        << "'abc' is not a valid floating point value." << QMessageBox::Critical << unchanged;
    QTest::newRow("internet saved as typed")
        << "1,5"
        << "x"
        << "'1,5' is not a valid floating point value." << QMessageBox::Critical << unchanged;
    QTest::newRow("internet above 10") << "1.5"
                                       << "99" << Stored << QMessageBox::NoIcon << QByteArray("1.5\r\n99\r\nkept");
    // Sessions could not be priced with these: refused like a games tariff out of range.
    QTest::newRow("internet letters refused") << "1.5"
                                              << "abc 99" << InputError << QMessageBox::NoIcon << unchanged;
    QTest::newRow("internet empty refused") << "1.5"
                                            << "" << InputError << QMessageBox::NoIcon << unchanged;
    QTest::newRow("internet negative refused") << "1.5"
                                               << "-0.25" << InputError << QMessageBox::NoIcon << unchanged;
}

void TestControlWindow::savesTariffs()
{
    QFETCH(QString, games);
    QFETCH(QString, internet);
    QFETCH(QString, message);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QByteArray, file);
    edit("Edit2")->setText(games);
    edit("Edit3")->setText(internet);
    QTest::mouseClick(button("BitBtn2"), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, message);
    QCOMPARE(m_boxes.at(0).icon, icon);
    QCOMPARE(m_prefix->readFile(InstallPaths::TariffFile), file);
}

void TestControlWindow::oneLineTariffFileGetsBothTariffs_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("one line") << QByteArray("0.5") << QByteArray("2\r\n0.75");
    QTest::newRow("empty") << QByteArray() << QByteArray("2\r\n0.75");
    QTest::newRow("two lines and a third kept") << QByteArray("0.5\r\n0.5\r\nkept") << QByteArray("2\r\n0.75\r\nkept");
}

void TestControlWindow::oneLineTariffFileGetsBothTariffs()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    m_prefix->writeFile(InstallPaths::TariffFile, before);
    m_window->loadTariffs();
    for (const char* name : {"Edit2", "Edit3"}) {
        edit(name)->selectAll();
        QTest::keyClick(edit(name), Qt::Key_Delete);
    }
    QTest::keyClicks(edit("Edit2"), "2");
    QTest::keyClicks(edit("Edit3"), "0.75");
    QTest::mouseClick(button("BitBtn2"), Qt::LeftButton);
    QCOMPARE(m_prefix->readFile(InstallPaths::TariffFile), after);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, Stored);
    // What was saved is what the window reads back.
    m_window->loadTariffs();
    QCOMPARE(m_window->gamesTariffText(), QStringLiteral("2"));
    QCOMPARE(m_window->internetTariffText(), QStringLiteral("0.75"));
}

void TestControlWindow::failedSaveKeepsTheOldFile()
{
    edit("Edit2")->selectAll();
    QTest::keyClicks(edit("Edit2"), "10");
    {
        // The disk fills after four bytes of the new text.
        FileSizeLimit full(4);
        QTest::mouseClick(button("BitBtn2"), Qt::LeftButton);
    }
    QCOMPARE(m_prefix->readFile(InstallPaths::TariffFile), QByteArray("0.5\r\n0.5\r\nkept"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.startsWith(
                 "Cannot create file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\costControl.inf\"."),
             qPrintable(m_boxes.at(0).text));
    QCOMPARE(QDir(m_prefix->local(InstallPaths::InstallRoot + "\\commandServer")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"costControl.inf"});
}

void TestControlWindow::unsavedTariffsLastUntilClosing()
{
    edit("Edit2")->setText("2");
    edit("Edit3")->setText("3");
    QCOMPARE(m_window->gamesTariffText(), QStringLiteral("2"));
    QCOMPARE(m_window->internetTariffText(), QStringLiteral("3"));
    QTest::mouseClick(button("BitBtn14"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->gamesTariffText(), QStringLiteral("0.5"));
    QCOMPARE(m_window->internetTariffText(), QStringLiteral("0.5"));
    QVERIFY(m_boxes.isEmpty());
}

void TestControlWindow::unreadableTariffFileKeepsTheWindowOpen()
{
    edit("Edit2")->setText("2");
    QFile::remove(m_prefix->local(InstallPaths::TariffFile));
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    edit("Edit2")->setFocus();
    QTest::keyClick(edit("Edit2"), Qt::Key_Escape);
    QTRY_COMPARE(m_boxes.size(), 1);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(edit("Edit2")->text(), QStringLiteral("2"));
}

void TestControlWindow::gridsShowTheLedger()
{
    auto* days = m_window->findChild<QTableView*>("DBGrid1");
    auto* entries = m_window->findChild<QTableView*>("DBGrid2");
    QCOMPARE(days->model()->columnCount(), 2);
    QCOMPARE(entries->model()->columnCount(), 5);
    const QStringList dayTitles{"التاريخ", "المجموع"};
    const QList<int> dayWidths{108, 102};
    for (int c = 0; c < 2; ++c) {
        QCOMPARE(days->model()->headerData(c, Qt::Horizontal).toString(), dayTitles.at(c));
        QCOMPARE(days->columnWidth(c), dayWidths.at(c));
    }
    const QStringList entryTitles{"بداية التشغيل", "مدة التشغيل", "النوع", "المبلغ", "اسم الكومبيوتر"};
    const QList<int> entryWidths{67, 61, 47, 51, 146};
    for (int c = 0; c < 5; ++c) {
        QCOMPARE(entries->model()->headerData(c, Qt::Horizontal).toString(), entryTitles.at(c));
        QCOMPARE(entries->columnWidth(c), entryWidths.at(c));
    }
    QCOMPARE(days->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(entries->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(m_window->size(), QSize(425, 451));
    QVERIFY(m_window->windowFlags() & Qt::WindowStaysOnTopHint);
}

void TestControlWindow::selectingADayShowsItsEntries()
{
    m_window->close();
    Ledger& ledger = m_window->ledger();
    Clock::setFixed(QDateTime(QDate(2026, 12, 1), QTime(9, 0, 0)));
    ledger.recordSession({"15", "PC01", true, "0.5"});
    ledger.recordSession({"30", "PC02", true, "0.5"});
    Clock::setFixed(QDateTime(QDate(2026, 12, 2), QTime(9, 0, 0)));
    ledger.recordSession({"120", "PC03", false, "0.25"});
    Clock::setFixed({});
    m_window->openWindow();

    auto* days = m_window->findChild<QTableView*>("DBGrid1");
    auto* entries = m_window->findChild<QTableView*>("DBGrid2");
    QCOMPARE(days->model()->rowCount(), 2);
    QCOMPARE(days->currentIndex().row(), 0);
    QCOMPARE(entries->model()->rowCount(), 2);
    QCOMPARE(entries->model()->index(1, 4).data().toString(), QStringLiteral("PC02"));
    QCOMPARE(entries->model()->index(1, 3).data().toString(), QStringLiteral("15"));
    // An empty total shows nothing.
    QCOMPARE(days->model()->index(0, 1).data().toString(), QString());

    QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, days->visualRect(days->model()->index(1, 0)).center());
    QCOMPARE(ledger.days().GetFieldText("DateDay"), QStringLiteral("02/12/2026"));
    QCOMPARE(entries->model()->rowCount(), 1);
    QCOMPARE(entries->model()->index(0, 2).data().toString(), QStringLiteral("أنترنيت"));
    QCOMPARE(entries->model()->index(0, 3).data().toString(), QStringLiteral("30"));
}

void TestControlWindow::recomputeFromTheButton()
{
    m_window->close();
    Ledger& ledger = m_window->ledger();
    ledger.recordSession({"15", "PC01", true, "0.5"});
    ledger.recordSession({"15", "PC01", true, "1"});
    m_window->openWindow();
    QTest::mouseClick(button("BitBtn12"), Qt::LeftButton);
    QVERIFY(m_boxes.isEmpty());
    auto* days = m_window->findChild<QTableView*>("DBGrid1");
    QCOMPARE(days->model()->index(0, 1).data().toString(), QStringLiteral("22.5"));

    // With the tables closed under the window, the store's error reaches the error box.
    ledger.close();
    QCOMPARE(days->model()->rowCount(), 0);
    QTest::mouseClick(button("BitBtn12"), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
}

void TestControlWindow::missingLedgerTablesStillShowTheWindow()
{
    m_window->close();
    QFile::remove(m_prefix->local(InstallPaths::LedgerDir + "\\SumDays.DB"));
    QVERIFY_THROWS_EXCEPTION(AppError, m_window->openWindow());
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->findChild<QTableView*>("DBGrid1")->model()->rowCount(), 0);
    QCOMPARE(m_window->findChild<QTableView*>("DBGrid2")->model()->rowCount(), 0);
}

void TestControlWindow::closingClosesTheTables()
{
    QVERIFY(m_window->ledger().days().isOpen());
    QTest::mouseClick(button("BitBtn14"), Qt::LeftButton);
    QVERIFY(!m_window->ledger().days().isOpen());
    QVERIFY(!m_window->ledger().entries().isOpen());
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestControlWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_controlwindow.moc"
