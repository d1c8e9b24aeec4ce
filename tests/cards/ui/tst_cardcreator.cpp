#include "cards/ui/CardCreatorWindow.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/store/TableStore.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "support/CardCreatorFixture.h"
#include "support/FileSizeLimit.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
#include <QtTest>

class TestCardCreator : public QObject, private CardCreatorFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void windowFrame();
    void componentsAtTheirPlaces_data();
    void componentsAtTheirPlaces();
    void initialChoicesAndTexts();
    void choicesAreExclusivePerPanel();
    void countBoxDigitFilter_data();
    void countBoxDigitFilter();
    void tabIntoUntouchedCountBoxEmptiesIt();
    void tariffSave_data();
    void tariffSave();
    void tariffSaveOverOneLineAndFailedSave();
    void tariffSaveFailureShowsTheFileError();
    void closeHidesTheWindow();

    void gridColumns();
    void noTableAtStart();
    void tableChoice();
    void missingTableKeepsTheGridEmpty();
    void generatorChecks_data();
    void generatorChecks();
    void fullBatchOfAThousand();
    void choicesGiveTheirCards_data();
    void choicesGiveTheirCards();
    void notANumberStopsBeforeAnyCard_data();
    void notANumberStopsBeforeAnyCard();
    void internetTariffWithLettersStopsAtTheFirstInternetCard();
    void lookupMovesTheGrid();
    void printButtonPreviewsTheMainTable();

private:
    QStringList messages() const;
    int gridRows() const { return find<QTableView>("DBGrid1")->model()->rowCount(); }
    int gridRow() const;
    QString gridText(int row, int column) const;
};

void TestCardCreator::init()
{
    makeCardInstall();
    openCreator();
}

void TestCardCreator::cleanup()
{
    closeCreator();
}

QStringList TestCardCreator::messages() const
{
    QStringList texts;
    for (const MessageBoxes::Shown& box : m_boxes)
        texts << box.text;
    return texts;
}

int TestCardCreator::gridRow() const
{
    const QModelIndexList selected = find<QTableView>("DBGrid1")->selectionModel()->selectedRows();
    return selected.size() == 1 ? selected.at(0).row() : -1;
}

QString TestCardCreator::gridText(int row, int column) const
{
    const QAbstractItemModel* model = find<QTableView>("DBGrid1")->model();
    return model->index(row, column).data().toString();
}

void TestCardCreator::windowFrame()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("منشئ البطاقات"));
    QCOMPARE(m_form->size(), QSize(787, 542));
    QCOMPARE(m_form->layoutDirection(), Qt::RightToLeft);
    QVERIFY(m_form->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(m_form->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
}

void TestCardCreator::componentsAtTheirPlaces_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry"); // an empty size: a label, placed by its position only
    QTest::addColumn<QString>("caption");

    QTest::newRow("Panel3") << "Form2" << QRect(2, 0, 564, 540) << "";
    QTest::newRow("DBGrid1") << "Panel3" << QRect(2, 6, 558, 487) << "";
    QTest::newRow("Label4") << "Panel3" << QRect(506, 511, 0, 0) << "رقم البطاقة";
    QTest::newRow("Edit4") << "Panel3" << QRect(381, 506, 121, 21) << "";
    QTest::newRow("BitBtn3") << "Panel3" << QRect(9, 503, 75, 25) << "طباعة";
    QTest::newRow("Panel1") << "Form2" << QRect(569, 0, 213, 256) << "";
    QTest::newRow("Label1") << "Panel1" << QRect(113, 9, 0, 0) << "عدد البطاقات الجديدة";
    QTest::newRow("Edit1") << "Panel1" << QRect(56, 5, 48, 21) << "10";
    QTest::newRow("RadioGroup1") << "Panel1" << QRect(5, 27, 202, 115) << "فئة البطاقة";
    QTest::newRow("RadioButton1") << "Panel1" << QRect(68, 44, 113, 15) << "ربع ساعة";
    QTest::newRow("RadioButton2") << "Panel1" << QRect(68, 68, 113, 15) << "نصف ساعة";
    QTest::newRow("RadioButton3") << "Panel1" << QRect(68, 93, 113, 15) << "ساعة";
    QTest::newRow("RadioButton4") << "Panel1" << QRect(68, 118, 113, 15) << "ساعتان";
    QTest::newRow("Panel2") << "Panel1" << QRect(5, 143, 202, 81) << "";
    QTest::newRow("RadioGroup2") << "Panel2" << QRect(0, 3, 202, 75) << "نوع البطاقة";
    QTest::newRow("RadioButton5") << "Panel2" << QRect(74, 26, 102, 17) << "ألعاب";
    QTest::newRow("RadioButton6") << "Panel2" << QRect(74, 49, 102, 17) << "أنترنيت";
    QTest::newRow("BitBtn1") << "Panel1" << QRect(6, 223, 201, 26) << "إنشاء بطاقات جديدة";
    QTest::newRow("GroupBox1") << "Form2" << QRect(570, 256, 212, 82) << "التعرفة لكل دقيقة";
    QTest::newRow("Label2") << "GroupBox1" << QRect(163, 21, 0, 0) << "ألعاب";
    QTest::newRow("Edit2") << "GroupBox1" << QRect(92, 18, 59, 21) << "0.5";
    QTest::newRow("Label3") << "GroupBox1" << QRect(159, 49, 0, 0) << "أنترنيت";
    QTest::newRow("Edit3") << "GroupBox1" << QRect(92, 47, 59, 21) << "0.5";
    QTest::newRow("BitBtn2") << "GroupBox1" << QRect(5, 49, 75, 25) << "تغيير";
    QTest::newRow("Button1") << "Form2" << QRect(632, 398, 75, 25) << "Button1";
    QTest::newRow("Button2") << "Form2" << QRect(631, 454, 75, 25) << "Button2";
    QTest::newRow("BitBtn4") << "Form2" << QRect(696, 509, 75, 25) << "إغلاق";
}

void TestCardCreator::componentsAtTheirPlaces()
{
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QWidget* w = find(QTest::currentDataTag());
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QVERIFY(w->isVisible());
    if (geometry.size().isEmpty()) {
        // A caption keeps its place unless the face in use makes it run past its parent's edge.
        QCOMPARE(w->y(), geometry.top());
        const int inside = w->parentWidget()->contentsRect().right() + 1 - 3;
        QCOMPARE(w->x(), std::min(geometry.left(), std::max(0, inside - w->width())));
    } else
        QCOMPARE(w->geometry(), geometry);

    QString text;
    if (auto* label = qobject_cast<QLabel*>(w))
        text = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        text = button->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        text = edit->text();
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        text = group->title();
    QCOMPARE(text, caption);
}

void TestCardCreator::initialChoicesAndTexts()
{
    QVERIFY(find<QRadioButton>("RadioButton1")->isChecked());
    QVERIFY(find<QRadioButton>("RadioButton5")->isChecked());
    QCOMPARE(m_form->memo1().text(), QByteArray("Memo1\r\n"));
    // The buttons stand on their frames, not under them.
    for (const char* name : {"RadioButton1", "RadioButton4", "RadioButton5", "RadioButton6"}) {
        QWidget* button = find(name);
        const QPoint centre = button->mapTo(m_form.get(), button->rect().center());
        QCOMPARE(m_form->childAt(centre), button);
    }
}

void TestCardCreator::choicesAreExclusivePerPanel()
{
    find<QRadioButton>("RadioButton3")->click();
    find<QRadioButton>("RadioButton6")->click();
    QVERIFY(!find<QRadioButton>("RadioButton1")->isChecked());
    QVERIFY(find<QRadioButton>("RadioButton3")->isChecked());
    QVERIFY(!find<QRadioButton>("RadioButton5")->isChecked());
    QVERIFY(find<QRadioButton>("RadioButton6")->isChecked());
}

void TestCardCreator::countBoxDigitFilter_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("text");

    QTest::newRow("digit kept") << QList<int>{Qt::Key_5} << "105";
    QTest::newRow("letter empties") << QList<int>{Qt::Key_A} << "";
    QTest::newRow("backspace empties") << QList<int>{Qt::Key_Backspace} << "";
    QTest::newRow("enter empties") << QList<int>{Qt::Key_Return} << "";
    QTest::newRow("digit after a letter") << QList<int>{Qt::Key_A, Qt::Key_7} << "7";
    // Keys that type nothing leave the flag as the last character set it.
    QTest::newRow("arrow after a digit") << QList<int>{Qt::Key_2, Qt::Key_Left} << "102";
    QTest::newRow("delete after a digit edits only") << QList<int>{Qt::Key_2, Qt::Key_Left, Qt::Key_Delete} << "10";
    QTest::newRow("shift on the untouched box") << QList<int>{Qt::Key_Shift} << "";
}

void TestCardCreator::countBoxDigitFilter()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, text);
    auto* edit1 = find<QLineEdit>("Edit1");
    edit1->setFocus();
    edit1->end(false);
    for (int key : keys) {
        // Delete carries the DEL character as its text on X11; it still types nothing.
        if (key == Qt::Key_Delete)
            QTest::sendKeyEvent(QTest::Click, edit1, Qt::Key_Delete, QString(QChar(0x7f)), Qt::NoModifier);
        else
            QTest::keyClick(edit1, Qt::Key(key));
    }
    QCOMPARE(edit1->text(), text);
}

void TestCardCreator::tabIntoUntouchedCountBoxEmptiesIt()
{
    auto* edit1 = find<QLineEdit>("Edit1");
    auto* edit4 = find<QLineEdit>("Edit4");
    edit4->setFocus();
    // The window system delivers the press to the box being left and the release to the one entered.
    QTest::keyPress(edit4, Qt::Key_Tab);
    QTest::keyRelease(edit1, Qt::Key_Tab);
    QCOMPARE(edit1->text(), QString());
}

void TestCardCreator::tariffSave_data()
{
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("internet");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");

    const QString stored = QStringLiteral("تم التخزين بنجاح");
    const QString refused = QStringLiteral("يوجد خطأ في إدخال البيانات");
    QTest::newRow("two lines, no final break") << "0.25"
                                               << "0.75" << QByteArray("0.25\r\n0.75") << stored;
    QTest::newRow("internet as typed, above 10") << "10"
                                                 << "12 abc" << QByteArray("10\r\n12 abc") << stored;
    QTest::newRow("games above 10 refused") << "10.01"
                                            << "0.5" << QByteArray("old") << refused;
    QTest::newRow("negative games refused") << "-1"
                                            << "0.5" << QByteArray("old") << refused;
}

void TestCardCreator::tariffSave()
{
    QFETCH(QString, games);
    QFETCH(QString, internet);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    m_prefix->writeFile(InstallPaths::CardTariffFile, "old");
    find<QLineEdit>("Edit2")->setText(games);
    find<QLineEdit>("Edit3")->setText(internet);
    click("BitBtn2");
    QCOMPARE(messages(), QStringList{message});
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::NoIcon);
    QCOMPARE(m_prefix->readFile(InstallPaths::CardTariffFile), file);

    // A second save replaces the same two lines.
    find<QLineEdit>("Edit2")->setText("1");
    click("BitBtn2");
    if (message == QStringLiteral("تم التخزين بنجاح"))
        QCOMPARE(m_prefix->readFile(InstallPaths::CardTariffFile), QByteArray("1\r\n") + internet.toUtf8());
}

void TestCardCreator::tariffSaveOverOneLineAndFailedSave()
{
    m_prefix->writeFile(InstallPaths::CardTariffFile, "0.5");
    find<QLineEdit>("Edit2")->selectAll();
    QTest::keyClicks(find<QLineEdit>("Edit2"), "0.25");
    find<QLineEdit>("Edit3")->selectAll();
    QTest::keyClicks(find<QLineEdit>("Edit3"), "0.75");
    click("BitBtn2");
    QCOMPARE(messages(), QStringList{QStringLiteral("تم التخزين بنجاح")});
    QCOMPARE(m_prefix->readFile(InstallPaths::CardTariffFile), QByteArray("0.25\r\n0.75"));

    // The disk fills after four bytes: the file keeps the tariffs it had and success is not claimed.
    m_boxes.clear();
    find<QLineEdit>("Edit2")->selectAll();
    QTest::keyClicks(find<QLineEdit>("Edit2"), "10");
    {
        FileSizeLimit full(4);
        click("BitBtn2");
    }
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.startsWith(
                 "Cannot create file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\costCard.inf\"."),
             qPrintable(m_boxes.at(0).text));
    QCOMPARE(m_prefix->readFile(InstallPaths::CardTariffFile), QByteArray("0.25\r\n0.75"));
}

void TestCardCreator::tariffSaveFailureShowsTheFileError()
{
    QDir(m_prefix->local(InstallPaths::InstallRoot + "\\commandServer")).removeRecursively();
    click("BitBtn2");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.startsWith(
                 "Cannot create file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\costCard.inf\"."),
             qPrintable(m_boxes.at(0).text));
}

void TestCardCreator::closeHidesTheWindow()
{
    find<QLineEdit>("Edit2")->setText("0.75");
    click("BitBtn4");
    QVERIFY(!m_form->isVisible());
    // Shown again, it is as it was left.
    m_form->show();
    QCOMPARE(find<QLineEdit>("Edit2")->text(), QStringLiteral("0.75"));
}

void TestCardCreator::gridColumns()
{
    auto* grid = find<QTableView>("DBGrid1");
    const QAbstractItemModel* model = grid->model();
    QCOMPARE(model->objectName(), QStringLiteral("DataSource1"));
    const QStringList titles{"تسلسل",          "رقم البطاقة", "فئة البطاقة/د",   "وضع البطاقة",
                             "الزمن المتبقي ", "الثمن",       "تاريخ الإستخدام", "النوع"};
    const int widths[] = {38, 0, 0, 63, 0, 45, 74, 0};
    QCOMPARE(model->columnCount(), 8);
    for (int c = 0; c < 8; ++c) {
        QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), titles.at(c));
        if (widths[c])
            QCOMPARE(grid->columnWidth(c), widths[c]);
        else // as wide as its title at least
            QVERIFY(grid->columnWidth(c) >= grid->fontMetrics().horizontalAdvance(titles.at(c)));
    }
    // The card number column never cuts a number, and is never narrower than its 93 pixels.
    QVERIFY(grid->columnWidth(1) >= 93);
    QVERIFY(grid->columnWidth(1) > grid->fontMetrics().horizontalAdvance("99999WW9999W3G"));
    // With the right-to-left layout the first column stands at the right.
    QVERIFY(grid->columnViewportPosition(0) > grid->columnViewportPosition(1));

    click("Button2");
    generate("1");
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->index(0, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(240, 244, 244));
    QCOMPARE(model->index(0, 4).data(Qt::BackgroundRole).value<QColor>(), QColor(244, 240, 244));
    QVERIFY(!model->index(0, 0).data(Qt::BackgroundRole).isValid());
    QCOMPARE(model->index(0, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
    QCOMPARE(gridText(0, 0), QStringLiteral("1"));
    QCOMPARE(gridText(0, 2), QStringLiteral("15"));
    QCOMPARE(gridText(0, 3), QStringLiteral("غير مستخدم"));
    QCOMPARE(gridText(0, 4), QStringLiteral("15"));
    QCOMPARE(gridText(0, 5), QStringLiteral("7.5"));
    QCOMPARE(gridText(0, 6), QString());
    QCOMPARE(gridText(0, 7), QStringLiteral("ألعاب"));

    // Read-only: no cell can be edited, by any trigger.
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    for (int c = 0; c < 8; ++c)
        QVERIFY(!(model->flags(model->index(0, c)) & Qt::ItemIsEditable));
    grid->setFocus();
    grid->setCurrentIndex(model->index(0, 1));
    QTest::keyClick(grid, Qt::Key_Delete);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(grid, "x");
    QCOMPARE(gridText(0, 2), QStringLiteral("15"));
    QCOMPARE(gridRows(), 1);
}

void TestCardCreator::noTableAtStart()
{
    QVERIFY(!m_form->table1()->isOpen());
    QCOMPARE(m_form->table1()->objectName(), QStringLiteral("Table1"));
    QCOMPARE(gridRows(), 0);

    // Neither the generator nor the lookup works: the store's error, and no card.
    click("BitBtn1");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY(!m_boxes.at(0).text.isEmpty());
    QCOMPARE(find<QPushButton>("BitBtn1")->text(), QStringLiteral("إنشاء بطاقات جديدة"));
    QTest::keyClicks(find<QLineEdit>("Edit4"), "1");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(gridRows(), 0);
    click("Button2");
    QCOMPARE(gridRows(), 0);
}

void TestCardCreator::tableChoice()
{
    click("Button1");
    generate("3");
    click("Button2");
    generate("2");
    QCOMPARE(gridRows(), 2);
    QCOMPARE(gridRow(), 1); // the grid follows the card just made

    // Each choice shows its table from the first row; choosing the same one again changes nothing.
    click("Button1");
    QCOMPARE(gridRows(), 3);
    QCOMPARE(gridRow(), 0);
    const QString firstTempCard = gridText(0, 1);
    click("Button2");
    const QString firstMainCard = gridText(0, 1);
    click("Button2");
    QCOMPARE(gridRows(), 2);
    QCOMPARE(gridRow(), 0);
    QCOMPARE(gridText(0, 1), firstMainCard);
    // Both tables number their cards from 1.
    QVERIFY(firstTempCard.startsWith("1") && firstMainCard.startsWith("1"));
    QVERIFY(m_boxes.isEmpty());
}

void TestCardCreator::missingTableKeepsTheGridEmpty()
{
    click("Button2");
    generate("2");
    QFile::remove(m_prefix->local(InstallPaths::TempCardDir + "\\Card1.db"));
    click("Button1");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY(!m_form->table1()->isOpen());
    QCOMPARE(gridRows(), 0);
}

void TestCardCreator::generatorChecks_data()
{
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("countAfter");
    QTest::addColumn<int>("cards");

    const QString entry = QStringLiteral("يوجد خطأ في إدخال البيانات");
    const QString range = QStringLiteral("الرقم المدخل أكبر من 1000 أو أصغر من 1");
    QTest::newRow("count 0") << "0.5"
                             << "0" << range << "10" << 0;
    QTest::newRow("count 1001") << "0.5"
                                << "1001" << range << "10" << 0;
    QTest::newRow("count 1") << "0.5"
                             << "1"
                             << ""
                             << "1" << 1;
    QTest::newRow("games 10") << "10"
                              << "2"
                              << ""
                              << "2" << 2;
    QTest::newRow("games 0") << "0"
                             << "2"
                             << ""
                             << "2" << 2;
    QTest::newRow("games 10.01") << "10.01"
                                 << "1001" << entry << "1001" << 0;
    QTest::newRow("games negative") << "-0.5"
                                    << "2" << entry << "2" << 0;
}

void TestCardCreator::generatorChecks()
{
    QFETCH(QString, games);
    QFETCH(QString, count);
    QFETCH(QString, message);
    QFETCH(QString, countAfter);
    QFETCH(int, cards);
    click("Button2");
    find<QLineEdit>("Edit2")->setText(games);
    generate(count);
    QCOMPARE(messages(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QCOMPARE(m_boxes.at(0).icon, QMessageBox::NoIcon);
    QCOMPARE(find<QLineEdit>("Edit1")->text(), countAfter);
    QCOMPARE(gridRows(), cards);
    QCOMPARE(find<QPushButton>("BitBtn1")->text(), QStringLiteral("إنشاء بطاقات جديدة"));
}

void TestCardCreator::fullBatchOfAThousand()
{
    click("Button1");
    generate("1000");
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(gridRows(), 1000);
    QVERIFY(gridText(999, 1).startsWith("1000"));
    QCOMPARE(gridRow(), 999);
}

void TestCardCreator::choicesGiveTheirCards_data()
{
    QTest::addColumn<QByteArray>("category");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<QString>("cost");

    // Games cost 0.5 a minute, internet 0.25.
    QTest::newRow("quarter hour, games") << QByteArray("RadioButton1") << QByteArray("RadioButton5") << "15"
                                         << "4G"
                                         << "7.5";
    QTest::newRow("half hour, games") << QByteArray("RadioButton2") << QByteArray("RadioButton5") << "30"
                                      << "2G"
                                      << "15";
    QTest::newRow("hour, games") << QByteArray("RadioButton3") << QByteArray("RadioButton5") << "60"
                                 << "1G"
                                 << "30";
    QTest::newRow("two hours, games") << QByteArray("RadioButton4") << QByteArray("RadioButton5") << "120"
                                      << "3G"
                                      << "60";
    QTest::newRow("quarter hour, internet") << QByteArray("RadioButton1") << QByteArray("RadioButton6") << "15"
                                            << "4I"
                                            << "3.75";
    QTest::newRow("half hour, internet") << QByteArray("RadioButton2") << QByteArray("RadioButton6") << "30"
                                         << "2I"
                                         << "7.5";
    QTest::newRow("hour, internet") << QByteArray("RadioButton3") << QByteArray("RadioButton6") << "60"
                                    << "1I"
                                    << "15";
    QTest::newRow("two hours, internet") << QByteArray("RadioButton4") << QByteArray("RadioButton6") << "120"
                                         << "3I"
                                         << "30";
}

void TestCardCreator::choicesGiveTheirCards()
{
    QFETCH(QByteArray, category);
    QFETCH(QByteArray, kind);
    QFETCH(QString, minutes);
    QFETCH(QString, tail);
    QFETCH(QString, cost);
    click("Button1");
    find<QLineEdit>("Edit3")->setText("0.25");
    find<QRadioButton>(category.constData())->click();
    find<QRadioButton>(kind.constData())->click();
    generate("1");
    QCOMPARE(gridRows(), 1);
    const QString num = gridText(0, 1);
    QVERIFY2(QRegularExpression("^1[A-Z]{2}(0|[1-9][0-9]{0,3})[A-Z]" + tail + "$").match(num).hasMatch(), qPrintable(num));
    QCOMPARE(gridText(0, 2), minutes);
    QCOMPARE(gridText(0, 4), minutes);
    QCOMPARE(gridText(0, 5), cost);
    QCOMPARE(gridText(0, 7), find<QRadioButton>(kind.constData())->text());
}

void TestCardCreator::notANumberStopsBeforeAnyCard_data()
{
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty count") << "0.5"
                                 << ""
                                 << "'' is not a valid integer value.";
    QTest::newRow("games with letters") << "0.5a"
                                        << "5"
                                        << "'0.5a' is not a valid floating point value.";
}

void TestCardCreator::notANumberStopsBeforeAnyCard()
{
    QFETCH(QString, games);
    QFETCH(QString, count);
    QFETCH(QString, error);
    click("Button2");
    find<QPushButton>("BitBtn1")->setText("3QW12E4G"); // as a failed run may have left it
    find<QLineEdit>("Edit2")->setText(games);
    generate(count);
    QCOMPARE(messages(), QStringList{error});
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(gridRows(), 0);
    QCOMPARE(find<QPushButton>("BitBtn1")->text(), QStringLiteral("3QW12E4G"));
}

void TestCardCreator::internetTariffWithLettersStopsAtTheFirstInternetCard()
{
    click("Button2");
    find<QLineEdit>("Edit3")->setText("0.5x");
    // The operator switches to internet cards while the run goes on, once a card shows.
    generateSwitchingToInternet("1000");
    auto* generateButton = find<QPushButton>("BitBtn1");

    QCOMPARE(messages(), QStringList{"'0.5x' is not a valid floating point value."});
    const int made = gridRows();
    QVERIFY(made >= 1 && made < 1000);
    for (int row = 0; row < made; ++row)
        QCOMPARE(gridText(row, 7), QStringLiteral("ألعاب"));
    QCOMPARE(generateButton->text(), gridText(made - 1, 1));
    // The stopped card left nothing behind, now or after the table is next touched.
    click("Button2");
    QCOMPARE(gridRows(), made);
}

void TestCardCreator::lookupMovesTheGrid()
{
    click("Button2");
    generate("40");
    const QString fifth = gridText(4, 1);
    auto* edit4 = find<QLineEdit>("Edit4");
    edit4->setFocus();
    QTest::keyClick(edit4, Qt::Key_3);
    QCOMPARE(gridRow(), 2);
    QCOMPARE(m_form->table1()->GetFieldText("Auto"), QStringLiteral("3"));
    QTest::keyClick(edit4, Qt::Key_7);
    QCOMPARE(gridRow(), 36);
    // A whole card number, an unknown serial or an empty box leave the grid where it is.
    edit4->setText(fifth);
    QCOMPARE(gridRow(), 36);
    edit4->setText("99");
    QCOMPARE(gridRow(), 36);
    edit4->clear();
    QCOMPARE(gridRow(), 36);
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(gridRows(), 40);

    // A row picked in the grid becomes the table's current row.
    auto* grid = find<QTableView>("DBGrid1");
    grid->setCurrentIndex(grid->model()->index(9, 0));
    QCOMPARE(m_form->table1()->GetFieldText("Auto"), QStringLiteral("10"));
}

void TestCardCreator::printButtonPreviewsTheMainTable()
{
    // Cards in the temporary table only: the report reads the main table, which is empty.
    click("Button1");
    generate("3");
    int previews = 0;
    int pages = -1;
    QTimer::singleShot(0, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* preview = qobject_cast<QPrintPreviewDialog*>(w); preview && preview->isVisible()) {
                ++previews;
                if (auto* widget = preview->findChild<QPrintPreviewWidget*>())
                    pages = widget->pageCount();
                preview->close();
            }
        }
    });
    click("BitBtn3");
    QCOMPARE(previews, 1);
    QCOMPARE(pages, 0);
    QVERIFY(m_boxes.isEmpty());

    // Without the main table: the store's error, no preview.
    QFile::remove(m_prefix->local(InstallPaths::CardDir + "\\Card.db"));
    click("BitBtn3");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestCardCreator test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cardcreator.moc"
