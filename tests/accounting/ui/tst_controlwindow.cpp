#include "accounting/ui/TFormControl.h"
#include "app/InstallPaths.h"
#include "platform/Regional.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "support/TestPrefix.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {
const QString InputError = QStringLiteral("يوجد خطأ في إدخال البيانات");
const QString Stored = QStringLiteral("تم التخزين بنجاح");
} // namespace

class TestControlWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void savesTariffs_data();
    void savesTariffs();
    void unsavedTariffsLastUntilClosing();
    void unreadableTariffFileKeepsTheWindowOpen();

private:
    QLineEdit* edit(const char* name) { return m_window->findChild<QLineEdit*>(name); }
    QPushButton* button(const char* name) { return m_window->findChild<QPushButton*>(name); }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<TFormControl> m_window;
    QList<MessageBoxes::Shown> m_boxes;
};

void TestControlWindow::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    m_prefix->writeFile(InstallPaths::TariffFile, "0.5\r\n0.5\r\nkept");
    Regional::setOverride(Regional::Settings{"dd/MM/yyyy", "hh:mm:ss", '.'});
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    m_window = std::make_unique<TFormControl>();
    m_window->loadTariffs();
    m_window->openWindow();
}

void TestControlWindow::cleanup()
{
    m_window.reset();
    MessageBoxes::setRecorderForTests({});
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

void TestControlWindow::savesTariffs_data()
{
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("internet");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QByteArray>("file");

    const QByteArray unchanged = "0.5\r\n0.5\r\nkept";
    QTest::newRow("10 saved") << "10" << "0.25" << Stored << QMessageBox::NoIcon << QByteArray("10\r\n0.25\r\nkept");
    QTest::newRow("10.01 refused") << "10.01" << "0.25" << InputError << QMessageBox::NoIcon << unchanged;
    QTest::newRow("0 saved") << "0" << "0.25" << Stored << QMessageBox::NoIcon << QByteArray("0\r\n0.25\r\nkept");
    QTest::newRow("-0.5 refused") << "-0.5" << "0.25" << InputError << QMessageBox::NoIcon << unchanged;
    QTest::newRow("letters: conversion error") << "abc" << "0.25" << "'abc' is not a valid floating point value."
                                               << QMessageBox::Critical << unchanged;
    QTest::newRow("internet saved as typed") << "1,5" << "x" << "'1,5' is not a valid floating point value."
                                             << QMessageBox::Critical << unchanged;
    QTest::newRow("internet letters and above 10") << "1.5" << "abc 99" << Stored << QMessageBox::NoIcon
                                                   << QByteArray("1.5\r\nabc 99\r\nkept");
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

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestControlWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_controlwindow.moc"
