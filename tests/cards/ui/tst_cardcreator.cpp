#include "app/InstallPaths.h"
#include "cards/ui/TForm2.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "support/TestPrefix.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class TestCardCreator : public QObject
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
    void tariffSaveFailureShowsTheFileError();
    void closeHidesTheWindow();

private:
    template <typename T = QWidget> T* find(const char* name)
    {
        T* w = m_form->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no component %s", name);
        return w;
    }
    void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    QStringList messages() const;

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<TForm2> m_form;
    QList<MessageBoxes::Shown> m_boxes;
};

void TestCardCreator::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    m_form = std::make_unique<TForm2>();
    m_form->show();
}

void TestCardCreator::cleanup()
{
    m_form.reset();
    MessageBoxes::setRecorderForTests({});
    m_prefix.reset();
}

QStringList TestCardCreator::messages() const
{
    QStringList texts;
    for (const MessageBoxes::Shown& box : m_boxes)
        texts << box.text;
    return texts;
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
    if (geometry.size().isEmpty())
        QCOMPARE(w->pos(), geometry.topLeft());
    else
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
    QTest::newRow("shift on the untouched box") << QList<int>{Qt::Key_Shift} << "";
}

void TestCardCreator::countBoxDigitFilter()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, text);
    auto* edit1 = find<QLineEdit>("Edit1");
    edit1->setFocus();
    edit1->end(false);
    for (int key : keys)
        QTest::keyClick(edit1, Qt::Key(key));
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
    QTest::newRow("two lines, no final break") << "0.25" << "0.75" << QByteArray("0.25\r\n0.75") << stored;
    QTest::newRow("internet as typed, above 10") << "10" << "12 abc" << QByteArray("10\r\n12 abc") << stored;
    QTest::newRow("games above 10 refused") << "10.01" << "0.5" << QByteArray("old") << refused;
    QTest::newRow("negative games refused") << "-1" << "0.5" << QByteArray("old") << refused;
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

void TestCardCreator::tariffSaveFailureShowsTheFileError()
{
    QDir(m_prefix->local(InstallPaths::InstallRoot + "\\commandServer")).removeRecursively();
    click("BitBtn2");
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.at(0).text.startsWith("Cannot create file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\costCard.inf\"."),
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

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestCardCreator test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cardcreator.moc"
