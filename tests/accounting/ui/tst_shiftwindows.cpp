#include "accounting/Ledger.h"
#include "accounting/Shifts.h"
#include "accounting/ui/AuditWindow.h"
#include "accounting/ui/ControlWindow.h"
#include "accounting/ui/ShiftBar.h"
#include "accounting/ui/ShiftHistoryWindow.h"
#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/OwnerPin.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/ui/MessageBoxes.h"
#include "support/ModalDialogs.h"
#include "support/PreviewWindows.h"
#include "support/TestPrefix.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The shift's strip and dialogs, and the owner's PIN before what only the owner may do, driven by
// clicks and keys as the operator gives them.
class TestShiftWindows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openAndCloseThroughTheBar();
    void blindCountShowsTheExpectedOnlyAfterTheCount();
    void handOverOffersTheNamesUsedBefore();
    void pinGuardsTheOwnersActions_data();
    void pinGuardsTheOwnersActions();

private:
    template <typename T>
    static T* child(QWidget* parent, const char* name)
    {
        T* found = parent->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no %s", name);
        return found;
    }
    static void type(QWidget* field, const QString& text)
    {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        // keyClicks() takes ASCII only; an Arabic letter is a key event with its text.
        for (const QChar letter : text)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(letter), Qt::NoModifier);
    }
    void click(QWidget* parent, const char* name) { QTest::mouseClick(child<QPushButton>(parent, name), Qt::LeftButton); }
    void bill(const QString& minutes)
    {
        Ledger ledger;
        ledger.recordSession({minutes, QStringLiteral("PC01"), true, QStringLiteral("0.5")});
    }
    // Closes the slip's preview once it shows, keeping its page count.
    void closeSlipWhenShown()
    {
        m_slipPages = -1;
        auto* timer = new QTimer(this);
        timer->setInterval(5);
        connect(timer, &QTimer::timeout, this, [this, timer] {
            if (openPreviews().isEmpty())
                return;
            m_slipPages = previewPageCount(openPreviews().first());
            closePreviews();
            timer->deleteLater();
        });
        timer->start();
    }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<QWidget> m_main;
    ShiftBar* m_bar = nullptr;
    QList<MessageBoxes::Shown> m_boxes;
    int m_slipPages = -1;
};

void TestShiftWindows::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    QVERIFY(Audit::create());
    m_prefix->writeFile(InstallPaths::TariffFile, "0.5\r\n0.5");
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
    Clock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(18, 0)));
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    m_main = std::make_unique<QWidget>();
    m_main->resize(500, 40);
    m_bar = new ShiftBar(m_main.get());
    m_main->show();
}

void TestShiftWindows::cleanup()
{
    closePreviews();
    m_main.reset();
    Audit::setOperatorName(QString());
    MessageBoxes::setRecorderForTests({});
    Regional::setOverride(std::nullopt);
    Clock::setFixed({});
    m_prefix.reset();
}

void TestShiftWindows::openAndCloseThroughTheBar()
{
    QCOMPARE(child<QLabel>(m_bar, "ShiftLabel")->text(), QStringLiteral("لا وردية مفتوحة"));
    QVERIFY(!child<QPushButton>(m_bar, "ShiftCloseButton")->isEnabled());
    onNextModal([this](QWidget* dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("FormShiftOpen"));
        type(child<QComboBox>(dialog, "NameBox")->lineEdit(), QStringLiteral("سامي"));
        type(child<QLineEdit>(dialog, "CashEdit"), QStringLiteral("25"));
        QTest::keyClick(child<QLineEdit>(dialog, "CashEdit"), Qt::Key_Return);
    });
    click(m_bar, "ShiftOpenButton");
    QCOMPARE(child<QLabel>(m_bar, "ShiftLabel")->text(), QStringLiteral("الوردية: سامي"));
    QVERIFY(!child<QPushButton>(m_bar, "ShiftOpenButton")->isEnabled());
    QCOMPARE(Shifts::current()->openingCash, 25.0);

    bill("30"); // 15
    onNextModal([this](QWidget* dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("FormShiftClose"));
        QCOMPARE(child<QLabel>(dialog, "ExpectedLabel")->text(), QStringLiteral("40.00"));
        type(child<QLineEdit>(dialog, "CashEdit"), QStringLiteral("39.5"));
        QLabel* difference = child<QLabel>(dialog, "DifferenceLabel");
        QCOMPARE(difference->text(), QStringLiteral("-0.50"));
        QVERIFY(difference->styleSheet().contains(QStringLiteral("red")));
        type(child<QLineEdit>(dialog, "CashEdit"), QStringLiteral("40"));
        QCOMPARE(difference->text(), QStringLiteral("0.00"));
        QVERIFY(!difference->styleSheet().contains(QStringLiteral("red")));
        QTest::keyClick(child<QLineEdit>(dialog, "CashEdit"), Qt::Key_Return);
    });
    closeSlipWhenShown();
    click(m_bar, "ShiftCloseButton");
    QCOMPARE(m_slipPages, 1);
    QVERIFY(!Shifts::current());
    QCOMPARE(Shifts::history().first().counted, 40.0);
    QCOMPARE(child<QLabel>(m_bar, "ShiftLabel")->text(), QStringLiteral("لا وردية مفتوحة"));
    QVERIFY(m_boxes.isEmpty());
}

void TestShiftWindows::blindCountShowsTheExpectedOnlyAfterTheCount()
{
    OwnerPin::setBlindCount(true);
    Shifts::open(QStringLiteral("Ali"), 10);
    bill("20"); // 10
    m_bar->refresh();
    onNextModal([this](QWidget* dialog) {
        QLabel* expected = child<QLabel>(dialog, "ExpectedLabel");
        QLineEdit* cash = child<QLineEdit>(dialog, "CashEdit");
        QPushButton* ok = child<QPushButton>(dialog, "OkButton");
        type(cash, QStringLiteral("18"));
        QVERIFY(!expected->text().contains(QStringLiteral("20")));
        QCOMPARE(child<QLabel>(dialog, "DifferenceLabel")->text(), QStringLiteral("—"));
        QVERIFY(!ok->isEnabled());
        QTest::keyClick(cash, Qt::Key_Return); // the close waits for the count
        QVERIFY(dialog->isVisible());
        click(dialog, "CountButton");
        QCOMPARE(expected->text(), QStringLiteral("20.00"));
        QCOMPARE(child<QLabel>(dialog, "DifferenceLabel")->text(), QStringLiteral("-2.00"));
        QVERIFY(cash->isReadOnly());
        QVERIFY(ok->isEnabled());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    closeSlipWhenShown();
    click(m_bar, "ShiftCloseButton");
    QCOMPARE(Shifts::history().first().counted, 18.0);
    QCOMPARE(m_slipPages, 1);
}

void TestShiftWindows::handOverOffersTheNamesUsedBefore()
{
    Shifts::open(QStringLiteral("Ali"), 0);
    Shifts::close(0);
    Shifts::open(QStringLiteral("Hana"), 5);
    m_bar->refresh();
    onNextModal([this](QWidget* dialog) {
        QCOMPARE(dialog->objectName(), QStringLiteral("FormShiftHandOver"));
        QComboBox* names = child<QComboBox>(dialog, "NameBox");
        QCOMPARE(names->count(), 2);
        QCOMPARE(names->itemText(0), QStringLiteral("Hana"));
        QCOMPARE(names->itemText(1), QStringLiteral("Ali"));
        type(child<QLineEdit>(dialog, "CashEdit"), QStringLiteral("5"));
        type(names->lineEdit(), QStringLiteral("Ali"));
        QTest::keyClick(names->lineEdit(), Qt::Key_Return);
    });
    closeSlipWhenShown();
    click(m_bar, "HandOverButton");
    QCOMPARE(m_slipPages, 1);
    QCOMPARE(Shifts::current()->operatorName, QStringLiteral("Ali"));
    QCOMPARE(Shifts::current()->openingCash, 5.0);
    QCOMPARE(child<QLabel>(m_bar, "ShiftLabel")->text(), QStringLiteral("الوردية: Ali"));
}

void TestShiftWindows::pinGuardsTheOwnersActions_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<std::function<void(ControlWindow&, ShiftBar&)>>("act");
    QTest::addColumn<std::function<bool(ControlWindow&, ShiftBar&)>>("done");
    using Act = std::function<void(ControlWindow&, ShiftBar&)>;
    using Done = std::function<bool(ControlWindow&, ShiftBar&)>;
    QTest::newRow("saving a tariff") << "the tariffs" << Act([](ControlWindow& control, ShiftBar&) {
        control.findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(QStringLiteral("0.75"));
        QTest::mouseClick(control.findChild<QPushButton*>(QStringLiteral("BitBtn2")), Qt::LeftButton);
    }) << Done([this](ControlWindow&, ShiftBar&) { return m_prefix->readFile(InstallPaths::TariffFile).startsWith("0.75"); });
    QTest::newRow("a recompute") << "a recompute" << Act([](ControlWindow& control, ShiftBar&) {
        QTest::mouseClick(control.findChild<QPushButton*>(QStringLiteral("BitBtn12")), Qt::LeftButton);
    }) << Done([](ControlWindow&, ShiftBar&) {
        const QList<Audit::Row> rows = Audit::rows();
        return std::any_of(rows.begin(), rows.end(),
                           [](const Audit::Row& row) { return row.event.event == Audit::Events::Recompute; });
    });
    QTest::newRow("the owner's view") << "the owner's view" << Act([](ControlWindow& control, ShiftBar&) {
        QTest::mouseClick(control.findChild<QPushButton*>(QStringLiteral("AuditButton")), Qt::LeftButton);
    }) << Done([](ControlWindow& control, ShiftBar&) { return control.auditWindow() && control.auditWindow()->isVisible(); });
    QTest::newRow("the shift history") << "the shift history" << Act([](ControlWindow&, ShiftBar& bar) {
        QTest::mouseClick(bar.findChild<QPushButton*>(QStringLiteral("ShiftHistoryButton")), Qt::LeftButton);
    }) << Done([](ControlWindow&, ShiftBar& bar) { return bar.historyWindow() && bar.historyWindow()->isVisible(); });
}

void TestShiftWindows::pinGuardsTheOwnersActions()
{
    QFETCH(QString, what);
    QFETCH(std::function<void(ControlWindow&, ShiftBar&)>, act);
    QFETCH(std::function<bool(ControlWindow&, ShiftBar&)>, done);
    Ledger ledger;
    ControlWindow control(ledger);
    control.loadTariffs();
    control.openWindow();
    OwnerPin::change(QStringLiteral("4321"));
    auto answer = [this](const QString& pin) {
        onNextModal([pin](QWidget* dialog) {
            QCOMPARE(dialog->objectName(), QStringLiteral("OwnerPinDialog"));
            QLineEdit* field = dialog->findChild<QLineEdit*>();
            QCOMPARE(field->echoMode(), QLineEdit::Password);
            QTest::keyClicks(field, pin);
            QTest::keyClick(field, Qt::Key_Return);
        });
    };

    answer(QStringLiteral("1234"));
    act(control, *m_bar);
    QVERIFY(!done(control, *m_bar));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY(m_boxes.at(0).text.startsWith(QStringLiteral("رمز المالك غير صحيح")));
    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.last().event.event, Audit::Events::PinRefused);
    QCOMPARE(rows.last().event.text, what);

    m_boxes.clear();
    answer(QStringLiteral("4321"));
    act(control, *m_bar);
    QVERIFY(done(control, *m_bar));
    m_boxes.removeIf([](const MessageBoxes::Shown& box) { return box.icon != QMessageBox::Critical; });
    QVERIFY(m_boxes.isEmpty());
}

QTEST_MAIN(TestShiftWindows)
#include "tst_shiftwindows.moc"
