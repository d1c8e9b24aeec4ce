#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "install/InstallPaths.h"
#include "platform/ui/Application.h"
#include "platform/ui/CircleShape.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/CommandChannel.h"
#include "stations/ui/StationRow.h"
#include "support/TestPrefix.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray EightZeros = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";

// The command file as the console leaves it after writing "1" into one line of EightZeros.
QByteArray eightZerosWithOne(int line)
{
    QList<QByteArray> lines(8, "0");
    lines[line] = "1";
    return lines.join("\r\n");
}

QStringList rowSuffixed(const char* family)
{
    QStringList names;
    for (int i = 0; i < 12; ++i)
        names << QLatin1String(family) + QString::number(i);
    return names;
}

} // namespace

class TestStationRows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void rowsAsCreated();
    void rowComponents_data();
    void rowComponents();
    void rosterFillsRows_data();
    void rosterFillsRows();
    void showStopsAtAMissingSettingsFile_data();
    void showStopsAtAMissingSettingsFile();
    void namesArePlainTextAndStayInTheirPlace();
    void refreshProbesAgain();
    void countdownLampLeavesTheButtons();
    void modeDecidesWhatARowShows_data();
    void modeDecidesWhatARowShows();

    void commandWritesItsLine_data();
    void commandWritesItsLine();
    void commandFailureOnlyShowsTheMessage_data();
    void commandFailureOnlyShowsTheMessage();
    void commandFileWithoutTheLine_data();
    void commandFileWithoutTheLine();

    void escapePressesTheFirstAvailableStopTime_data();
    void escapePressesTheFirstAvailableStopTime();

    void remainingTimeKeepsClearOfItsNeighbours_data();
    void remainingTimeKeepsClearOfItsNeighbours();

private:
    // Writes the roster, then chooses the mode on the chooser as the operator does.
    void start(const QByteArray& roster, bool cardMode = false);
    MainWindow* main() const { return m_console->form1(); }
    template <typename T = QWidget>
    T* find(const QString& name) const
    {
        T* w = main()->findChild<T*>(name);
        if (!w)
            qFatal("no component %s", qPrintable(name));
        return w;
    }
    template <typename T = QWidget>
    T* find(const char* family, int row) const
    {
        return find<T>(QLatin1String(family) + QString::number(row));
    }
    // "green", "red", "none" or "both": which lamps of the row are set to show.
    QString lamp(int row) const;
    QStringList disabledCommandButtons(int row) const;

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<Console> m_console;
    QList<MessageBoxes::Shown> m_boxes;
};

void TestStationRows::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    m_prefix->writeFile(InstallPaths::TariffFile, "0.5\r\n0.5");
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    m_console = std::make_unique<Console>();
}

void TestStationRows::cleanup()
{
    m_console.reset();
    MessageBoxes::setRecorderForTests({});
    m_prefix.reset();
}

void TestStationRows::start(const QByteArray& roster, bool cardMode)
{
    m_prefix->writeFile(InstallPaths::RosterFile, roster);
    m_console->form6()->show();
    QTest::mouseClick(m_console->form6()->findChild<QPushButton*>(cardMode ? "BitBtn5" : "BitBtn3"), Qt::LeftButton);
    QVERIFY(main()->isVisible());
}

QString TestStationRows::lamp(int row) const
{
    const bool green = !find("ShapeGreen", row)->isHidden();
    const bool red = !find("ShapeRed", row)->isHidden();
    return green && red ? "both" : green ? "green" : red ? "red" : "none";
}

QStringList TestStationRows::disabledCommandButtons(int row) const
{
    QStringList disabled;
    for (const char* family : {"BitBtnStop", "BitBtnExit", "BitBtnOpen", "BitBtnClose", "BitBtnTimeStop"}) {
        if (!find(family, row)->isEnabled())
            disabled << QLatin1String(family);
    }
    return disabled;
}

void TestStationRows::rowsAsCreated()
{
    for (int i = 0; i < 12; ++i) {
        QVERIFY(find("PanelC", i)->isHidden());
        QCOMPARE(find<QLabel>("LabelName", i)->text(), QStringLiteral("Kelvarin%1").arg(i));
        QCOMPARE(lamp(i), QStringLiteral("none"));
        QCOMPARE(disabledCommandButtons(i), QStringList());
        QVERIFY(find<QRadioButton>("RadioButtonG", i)->isChecked());
        QVERIFY(!find<QRadioButton>("RadioButtonI", i)->isChecked());
        auto* minutes = find<QComboBox>("ComboBox", i);
        QVERIFY(minutes->isEditable());
        QCOMPARE(minutes->currentText(), QStringLiteral("15"));
        QStringList items;
        for (int k = 0; k < minutes->count(); ++k)
            items << minutes->itemText(k);
        QCOMPARE(items, QStringList({"10", "15", "20", "30", "60", "120"}));
        QCOMPARE(find<QLabel>("LabelS", i)->text(), QStringLiteral("00"));
        QCOMPARE(find<QLabel>("LabelM", i)->text(), QStringLiteral("00"));
    }
}

void TestStationRows::rowComponents_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("names"); // refresh, remaining-time caption, colon, minutes caption, separator
    QTest::addColumn<QColor>("background");
    const QList<std::pair<QStringList, QColor>> rows{
        {{"BitBtn3", "Label2", "Label4", "Label3", "Panel3"}, QColor(218, 203, 203)},
        {{"BitBtn5", "Label9", "Label12", "Label14", "Panel4"}, QColor(220, 211, 163)},
        {{"BitBtn6", "Label15", "Label17", "Label19", "Panel5"}, QColor(233, 237, 216)},
        {{"BitBtn7", "Label7", "Label13", "Label18", "Panel6"}, QColor(217, 236, 222)},
        {{"BitBtn8", "Label21", "Label23", "Label25", "Panel8"}, QColor(217, 224, 236)},
        {{"BitBtn9", "Label27", "Label29", "Label31", "Panel10"}, QColor(230, 216, 237)},
        {{"BitBtn10", "Label33", "Label35", "Label37", "Panel12"}, QColor(242, 241, 210)},
        {{"BitBtn11", "Label39", "Label41", "Label43", "Panel14"}, QColor(226, 242, 210)},
        {{"BitBtn12", "Label45", "Label47", "Label49", "Panel16"}, QColor(211, 241, 233)},
        {{"BitBtn13", "Label51", "Label53", "Label55", "Panel18"}, QColor(208, 225, 244)},
        {{"BitBtn14", "Label57", "Label59", "Label61", "Panel20"}, QColor(250, 231, 203)},
        {{"BitBtn15", "Label63", "Label65", "Label67", "Panel22"}, QColor(249, 204, 205)},
    };
    for (int i = 0; i < rows.size(); ++i)
        QTest::addRow("row %d", i) << i << rows[i].first << rows[i].second;
}

void TestStationRows::rowComponents()
{
    QFETCH(int, row);
    QFETCH(QStringList, names);
    QFETCH(QColor, background);

    QWidget* panel = find("PanelC", row);
    QCOMPARE(panel->parentWidget()->objectName(), QStringLiteral("Panel2"));
    QCOMPARE(panel->geometry(), QRect(7, 31 + 36 * row, 764, 36));
    QVERIFY(panel->autoFillBackground());
    QCOMPARE(panel->palette().color(QPalette::Window), background);

    auto inRow = [panel](const QString& name) {
        QWidget* w = panel->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
        if (!w)
            qFatal("no %s in its row", qPrintable(name));
        return w;
    };
    auto* refresh = qobject_cast<QPushButton*>(inRow(names[0]));
    QVERIFY(refresh);
    QCOMPARE(refresh->toolTip(), QStringLiteral("تحديث"));
    QVERIFY(!refresh->icon().isNull());
    QCOMPARE(refresh->geometry(), QRect(727, 6, 33, 24));
    QCOMPARE(qobject_cast<QLabel*>(inRow(names[1]))->text(), QStringLiteral("الوقت المتبقي"));
    QCOMPARE(qobject_cast<QLabel*>(inRow(names[2]))->text(), QStringLiteral(":"));
    QCOMPARE(qobject_cast<QLabel*>(inRow(names[3]))->text(), QStringLiteral("دقيقة"));
    QCOMPARE(inRow(names[4])->geometry(), QRect(377, 3, 2, 31));

    // The components that every row names by its index, at the same place in every row.
    const QList<std::tuple<const char*, QString, QRect>> regular{
        {"ShapeGreen", QString(), QRect(590, 8, 22, 23)},
        {"ShapeRed", QString(), QRect(590, 8, 22, 23)},
        {"BitBtnStop", "إيقاف التشغيل", QRect(511, 6, 75, 25)},
        {"BitBtnExit", "تسجيل خروج ", QRect(434, 6, 75, 25)},
        {"BitBtnClose", QString(), QRect(391, 6, 29, 25)},
        // The kind choices are taller than laid out (308, 6, 49 × 11 and 304, 21, 53 × 11) so that
        // their captions are not clipped; they keep their centre lines.
        {"RadioButtonG", "ألعاب", QRect(308, 4, 49, 15)},
        {"RadioButtonI", "أنترنيت", QRect(304, 19, 53, 15)},
        {"ComboBox", QString(), QRect(row == 0 ? 250 : 249, 8, 40, 21)},
        {"BitBtnOpen", "فتح", QRect(202, 6, 44, 25)},
        {"BitBtnTimeStop", QString(), QRect(165, 6, 28, 25)},
    };
    for (const auto& [family, caption, geometry] : regular) {
        QWidget* w = inRow(QLatin1String(family) + QString::number(row));
        QCOMPARE(w->geometry(), geometry);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->text().isEmpty(), !button->icon().isNull());
        }
    }
    QCOMPARE(inRow(QStringLiteral("LabelName%1").arg(row))->pos(), QPoint(635, 9));
    QCOMPARE(find<CircleShape>("ShapeGreen", row)->fill(), QColor(Qt::green));
    QCOMPARE(find<CircleShape>("ShapeRed", row)->fill(), QColor(Qt::red));
    QCOMPARE(find("BitBtnTimeStop", row)->toolTip(), QStringLiteral("ايقاف الوقت"));
    // Only the first row's close button was given its hint.
    QCOMPARE(find("BitBtnClose", row)->toolTip(), row == 0 ? QStringLiteral("إغلاق برنامج الحماية") : QString());
}

void TestStationRows::namesArePlainTextAndStayInTheirPlace()
{
    const QString longName(200, QLatin1Char('W'));
    m_prefix->addStation(longName, EightZeros);
    start("<b>PC0</b>\r\n" + longName.toLatin1() + "\r\nPC2");

    // Every label shows its text as it stands, markup included.
    for (QLabel* label : main()->findChildren<QLabel*>())
        QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(find<QLabel>("LabelName", 0)->text(), QStringLiteral("<b>PC0</b>"));

    // Each name keeps between its lamp and its refresh button, however long it is.
    for (int i = 0; i < 3; ++i) {
        QWidget* name = find("LabelName", i);
        for (QWidget* other : name->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != name)
                QVERIFY2(!name->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
        }
    }
    // The long name is only drawn short: the commands still reach the station by its whole name.
    QCOMPARE(find<QLabel>("LabelName", 1)->text(), longName);
    QTest::mouseClick(find("BitBtnStop", 1), Qt::LeftButton);
    QCOMPARE(m_prefix->commandFile(longName), eightZerosWithOne(2));
    QVERIFY(m_boxes.isEmpty());
}

void TestStationRows::rosterFillsRows_data()
{
    QTest::addColumn<QByteArray>("roster");
    QTest::addColumn<QStringList>("stations"); // those that answer
    QTest::addColumn<QStringList>("names");    // per row shown; an empty text for a hidden row
    QTest::addColumn<QList<int>>("red");

    const QStringList twelve = rowSuffixed("PC");
    QTest::newRow("one name") << QByteArray("PC0") << QStringList{"PC0"} << QStringList{"PC0"} << QList<int>{};
    QTest::newRow("empty line 3, a name in line 4")
        << QByteArray("PC0\r\nPC1\r\nPC2\r\n\r\nPC4") << QStringList{"PC0", "PC1", "PC2", "PC4"}
        << QStringList{"PC0", "PC1", "PC2", "", "PC4"} << QList<int>{};
    QTest::newRow("same name twice") << QByteArray("PC0\r\nPC0") << QStringList{"PC0"} << QStringList{"PC0", "PC0"}
                                     << QList<int>{};
    QTest::newRow("LF line breaks, final break")
        << QByteArray("PC0\nPC1\n") << QStringList{"PC0", "PC1"} << QStringList{"PC0", "PC1"} << QList<int>{};
    QTest::newRow("lone CR line breaks") << QByteArray("PC0\rPC1") << QStringList{"PC0", "PC1"} << QStringList{"PC0", "PC1"}
                                         << QList<int>{};
    QTest::newRow("names taken verbatim") << QByteArray(" PC0\r\npc1") << QStringList{"PC0", "PC1"} << QStringList{" PC0", "pc1"}
                                          << QList<int>{0};
    QTest::newRow("some unreachable") << QByteArray("PC0\r\nPC1\r\nPC2\r\nPC3") << QStringList{"PC1", "PC3"}
                                      << QStringList{"PC0", "PC1", "PC2", "PC3"} << QList<int>{0, 2};
    QTest::newRow("thirteen lines") << (twelve.join("\r\n") + "\r\nPC12").toLatin1() << twelve << twelve << QList<int>{};
    QTest::newRow("empty roster") << QByteArray() << QStringList{"PC0"} << QStringList{} << QList<int>{};
}

void TestStationRows::rosterFillsRows()
{
    QFETCH(QByteArray, roster);
    QFETCH(QStringList, stations);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, red);
    for (const QString& station : stations)
        m_prefix->addStation(station);
    QList<int> rightEdges;
    for (int i = 0; i < 12; ++i)
        rightEdges << find("LabelName", i)->geometry().right();

    start(roster);

    QCOMPARE(m_boxes.size(), 0);
    for (int i = 0; i < 12; ++i) {
        const QString name = names.value(i);
        QWidget* panel = find("PanelC", i);
        auto* label = find<QLabel>("LabelName", i);
        if (name.isEmpty()) {
            QVERIFY2(!panel->isVisible(), qPrintable(panel->objectName()));
            QCOMPARE(label->text(), QStringLiteral("Kelvarin%1").arg(i));
            continue;
        }
        QVERIFY2(panel->isVisible(), qPrintable(panel->objectName()));
        QCOMPARE(panel->geometry().top(), 31 + 36 * i);
        QCOMPARE(label->text(), name);
        // The window reads right to left: a name grows leftwards, away from the refresh button.
        QCOMPARE(label->geometry().right(), rightEdges[i]);
        QCOMPARE(lamp(i), red.contains(i) ? QStringLiteral("red") : QStringLiteral("green"));
        QCOMPARE(disabledCommandButtons(i).size(), red.contains(i) ? 5 : 0);
    }
}

void TestStationRows::showStopsAtAMissingSettingsFile_data()
{
    QTest::addColumn<QString>("missing");
    QTest::newRow("tariff file") << InstallPaths::TariffFile;
    QTest::newRow("roster file") << InstallPaths::RosterFile;
}

void TestStationRows::showStopsAtAMissingSettingsFile()
{
    QFETCH(QString, missing);
    m_prefix->addStation("PC0");
    m_prefix->writeFile(InstallPaths::RosterFile, "PC0\r\nPC0");
    QVERIFY(QFile::remove(m_prefix->local(missing)));
    m_console->form6()->show();
    QTest::mouseClick(m_console->form6()->findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);

    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(m_boxes[0].text.contains(missing.section('\\', -1)), qPrintable(m_boxes[0].text));
    for (int i = 0; i < 12; ++i)
        QVERIFY(!find("PanelC", i)->isVisible());
}

void TestStationRows::refreshProbesAgain()
{
    m_prefix->addStation("PC0");
    start("PC0\r\nPC1");
    QCOMPARE(lamp(1), QStringLiteral("red"));
    QCOMPARE(disabledCommandButtons(1), QStringList({"BitBtnStop", "BitBtnExit", "BitBtnOpen", "BitBtnClose", "BitBtnTimeStop"}));

    // The controls that do not reach the station still react.
    QTest::mouseClick(find("RadioButtonI", 1), Qt::LeftButton, {}, QPoint(45, 5));
    QVERIFY(find<QRadioButton>("RadioButtonI", 1)->isChecked());
    QVERIFY(!find<QRadioButton>("RadioButtonG", 1)->isChecked());
    QVERIFY(find<QRadioButton>("RadioButtonG", 0)->isChecked());
    auto* minutes = find<QComboBox>("ComboBox", 1);
    minutes->lineEdit()->selectAll();
    QTest::keyClicks(minutes->lineEdit(), "45");
    QTest::keyClick(minutes->lineEdit(), Qt::Key_Return);
    QCOMPARE(minutes->currentText(), QStringLiteral("45"));
    QCOMPARE(minutes->count(), 6);
    QVERIFY(find("BitBtn5")->isEnabled());

    // The station comes up; the roster on disk has changed meanwhile, but the rows keep the one
    // read at the show.
    m_prefix->addStation("PC1");
    m_prefix->writeFile(InstallPaths::RosterFile, "PC0\r\nOTHER");
    QTest::mouseClick(find("BitBtn5"), Qt::LeftButton);
    QCOMPARE(lamp(1), QStringLiteral("green"));
    QCOMPARE(disabledCommandButtons(1), QStringList());
    QCOMPARE(find<QLabel>("LabelName", 1)->text(), QStringLiteral("PC1"));
    QVERIFY(find<QRadioButton>("RadioButtonI", 1)->isChecked());
    QCOMPARE(minutes->currentText(), QStringLiteral("45"));

    // And goes away again; the other row is left alone.
    QVERIFY(QFile::remove(m_prefix->local(CommandChannel::probeFilePath("PC1"))));
    QTest::mouseClick(find("BitBtn5"), Qt::LeftButton);
    QCOMPARE(lamp(1), QStringLiteral("red"));
    QCOMPARE(disabledCommandButtons(1).size(), 5);
    QCOMPARE(lamp(0), QStringLiteral("green"));
    QCOMPARE(disabledCommandButtons(0).size(), 0);
    QVERIFY(m_boxes.isEmpty());
}

void TestStationRows::countdownLampLeavesTheButtons()
{
    m_prefix->addStation("PC0");
    start("PC0\r\nPC1");

    main()->setLamp(0, false);
    QCOMPARE(lamp(0), QStringLiteral("red"));
    QCOMPARE(disabledCommandButtons(0).size(), 0);

    main()->setLamp(1, true);
    QCOMPARE(lamp(1), QStringLiteral("green"));
    QCOMPARE(disabledCommandButtons(1).size(), 5);

    // Only a probe that succeeds enables them again.
    m_prefix->addStation("PC1");
    QTest::mouseClick(find("BitBtn5"), Qt::LeftButton);
    QCOMPARE(disabledCommandButtons(1).size(), 0);
}

void TestStationRows::modeDecidesWhatARowShows_data()
{
    QTest::addColumn<bool>("cardMode");
    // By the names of row i's components without the number; the irregular ones give "BitBtn",
    // "Label" and "Panel". The lamp shown is the one that the probe chose.
    QTest::addColumn<QStringList>("shown");
    const QStringList station{"BitBtn", "LabelName", "BitBtnStop", "BitBtnExit", "BitBtnClose", "Panel"};
    QTest::newRow("central control") << false << station + QStringList{"RadioButtonG",   "RadioButtonI", "ComboBox", "BitBtnOpen",
                                                                       "BitBtnTimeStop", "Label",        "LabelS",   "Label",
                                                                       "LabelM",         "Label"};
    QTest::newRow("card") << true << station;
}

void TestStationRows::modeDecidesWhatARowShows()
{
    QFETCH(bool, cardMode);
    QFETCH(QStringList, shown);
    m_prefix->addStation("PC0");
    start("PC0\r\nPC1\r\n\r\nPC3", cardMode);

    QCOMPARE(find("Label8")->isVisible(), !cardMode);
    for (const char* heading : {"Label5", "Label6", "Label10"})
        QVERIFY(find(heading)->isVisible());
    for (int i : {0, 1, 3}) {
        QStringList families;
        for (QWidget* w : find("PanelC", i)->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w->isVisible())
                families << w->objectName().remove(QRegularExpression("[0-9]+$"));
        }
        QStringList expected = shown;
        expected << (i == 0 ? "ShapeGreen" : "ShapeRed");
        std::sort(families.begin(), families.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(families, expected);
    }
}

void TestStationRows::commandWritesItsLine_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("line");
    QTest::addColumn<bool>("cardMode");
    for (bool card : {false, true}) {
        const char* mode = card ? "card" : "central control";
        QTest::addRow("shut down, %s", mode) << "BitBtnStop" << 2 << card;
        QTest::addRow("log off, %s", mode) << "BitBtnExit" << 3 << card;
        QTest::addRow("close protection program, %s", mode) << "BitBtnClose" << 0 << card;
    }
}

void TestStationRows::commandWritesItsLine()
{
    QFETCH(QString, family);
    QFETCH(int, line);
    QFETCH(bool, cardMode);
    const QStringList stations = rowSuffixed("PC");
    for (const QString& station : stations)
        m_prefix->addStation(station, EightZeros);
    start(stations.join("\r\n").toLatin1(), cardMode);

    // Every row reaches its own station and no other; a second press writes the same again.
    for (int i = 0; i < 12; ++i) {
        for (int press = 0; press < 2; ++press)
            QTest::mouseClick(find(family.toLatin1().constData(), i), Qt::LeftButton);
        for (int k = 0; k < 12; ++k)
            QCOMPARE(m_prefix->commandFile(stations[k]), k <= i ? eightZerosWithOne(line) : EightZeros);
        QCOMPARE(lamp(i), QStringLiteral("green"));
    }
    QVERIFY(m_boxes.isEmpty());
}

void TestStationRows::commandFailureOnlyShowsTheMessage_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("failure");
    QTest::newRow("command file missing") << "BitBtnStop"
                                          << "missing";
    QTest::newRow("station gone") << "BitBtnExit"
                                  << "gone";
    QTest::newRow("command file held open by the client") << "BitBtnClose"
                                                          << "held";
    QTest::newRow("unreachable since the show") << "BitBtnClose"
                                                << "unreachable";
}

void TestStationRows::commandFailureOnlyShowsTheMessage()
{
    QFETCH(QString, family);
    QFETCH(QString, failure);
    if (failure != "unreachable")
        m_prefix->addStation("PC1", EightZeros);
    start("\r\nPC1");
    const QString lampBefore = lamp(1);
    const QStringList disabledBefore = disabledCommandButtons(1);

    const QString commandFile = m_prefix->local(CommandChannel::commandFilePath("PC1"));
    int holder = -1;
    if (failure == "missing")
        QVERIFY(QFile::remove(commandFile));
    if (failure == "gone")
        QVERIFY(QDir(m_prefix->root() + "/unc/PC1").removeRecursively());
    if (failure == "held") {
        // The client writing its file at that moment, as another open file description.
        holder = ::open(QFile::encodeName(commandFile).constData(), O_RDWR);
        struct flock lock
        {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        QVERIFY(holder >= 0 && ::fcntl(holder, F_OFD_SETLK, &lock) == 0);
    }

    if (failure == "unreachable") // its buttons are disabled: only the handler itself can be run
        main()->BitBtnCloseClick(1);
    else
        QTest::mouseClick(find(family.toLatin1().constData(), 1), Qt::LeftButton);
    if (holder >= 0)
        ::close(holder);

    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].text, QStringLiteral("الإتصال غير قائم حاليا مع الجهاز المطلوب"));
    QCOMPARE(m_boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(lamp(1), lampBefore);
    QCOMPARE(disabledCommandButtons(1), disabledBefore);
    if (failure == "held")
        QCOMPARE(m_prefix->commandFile("PC1"), EightZeros);
    else
        QVERIFY(!QFile::exists(commandFile)); // nothing is created on the station
}

void TestStationRows::commandFileWithoutTheLine_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("failed");
    QTest::newRow("two lines, shut down fails") << QByteArray("0\r\n0") << "BitBtnStop" << QByteArray("0\r\n0") << true;
    QTest::newRow("three lines, log off fails") << QByteArray("0\r\n0\r\n0") << "BitBtnExit" << QByteArray("0\r\n0\r\n0") << true;
    QTest::newRow("LF breaks, log off fails untouched") << QByteArray("0\n0\n") << "BitBtnExit" << QByteArray("0\n0\n") << true;
    QTest::newRow("three lines, shut down has its line")
        << QByteArray("0\r\n0\r\n0") << "BitBtnStop" << QByteArray("0\r\n0\r\n1") << false;
    QTest::newRow("empty file, close protection has line 0") << QByteArray() << "BitBtnClose" << QByteArray("1") << false;
}

void TestStationRows::commandFileWithoutTheLine()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, family);
    QFETCH(QByteArray, after);
    QFETCH(bool, failed);
    m_prefix->addStation("PC0", before);
    start("PC0");
    QTest::mouseClick(find(family.toLatin1().constData(), 0), Qt::LeftButton);
    QCOMPARE(m_prefix->commandFile("PC0"), after);
    QCOMPARE(m_boxes.size(), failed ? 1 : 0);
    if (failed)
        QCOMPARE(m_boxes[0].text, QStringLiteral("الإتصال غير قائم حاليا مع الجهاز المطلوب"));
    QCOMPARE(lamp(0), QStringLiteral("green"));
}

void TestStationRows::escapePressesTheFirstAvailableStopTime_data()
{
    QTest::addColumn<QByteArray>("roster"); // stations named "off…" do not answer
    QTest::addColumn<bool>("cardMode");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("pressed"); // -1: none

    const QByteArray four = "PC0\r\nPC1\r\nPC2\r\nPC3";
    QTest::newRow("first row") << four << false << "" << Qt::KeyboardModifiers() << 0;
    QTest::newRow("focus on row 3's open button") << four << false << "BitBtnOpen3" << Qt::KeyboardModifiers() << 0;
    QTest::newRow("focus on row 2's stop-time button") << four << false << "BitBtnTimeStop2" << Qt::KeyboardModifiers() << 0;
    QTest::newRow("focus in a minutes box") << four << false << "ComboBox3" << Qt::KeyboardModifiers() << 0;
    QTest::newRow("row 0's button disabled") << QByteArray("off0\r\nPC1") << false << "" << Qt::KeyboardModifiers() << 1;
    QTest::newRow("row 0 without station") << QByteArray("\r\n\r\noff2\r\nPC3") << false << "" << Qt::KeyboardModifiers() << 3;
    QTest::newRow("no station answers") << QByteArray("off0\r\noff1") << false << "" << Qt::KeyboardModifiers() << -1;
    QTest::newRow("no station") << QByteArray() << false << "" << Qt::KeyboardModifiers() << -1;
    QTest::newRow("card mode") << four << true << "" << Qt::KeyboardModifiers() << -1;
    QTest::newRow("Shift held") << four << false << "" << Qt::KeyboardModifiers(Qt::ShiftModifier) << -1;
    QTest::newRow("Ctrl held") << four << false << "" << Qt::KeyboardModifiers(Qt::ControlModifier) << -1;
    QTest::newRow("Alt held") << four << false << "" << Qt::KeyboardModifiers(Qt::AltModifier) << -1;
}

void TestStationRows::escapePressesTheFirstAvailableStopTime()
{
    QFETCH(QByteArray, roster);
    QFETCH(bool, cardMode);
    QFETCH(QString, focus);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, pressed);
    for (int i = 0; i < 12; ++i)
        m_prefix->addStation(QStringLiteral("PC%1").arg(i));
    start(roster, cardMode);

    QList<std::shared_ptr<QSignalSpy>> spies;
    for (int i = 0; i < 12; ++i)
        spies << std::make_shared<QSignalSpy>(find<QPushButton>("BitBtnTimeStop", i), &QPushButton::clicked);
    main()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main()));
    if (!focus.isEmpty()) {
        find(focus)->setFocus();
        QVERIFY(find(focus)->hasFocus() || find(focus)->isAncestorOf(QApplication::focusWidget()));
    }
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : main();
    QTest::keyClick(target, Qt::Key_Escape, modifiers);

    for (int i = 0; i < 12; ++i)
        QCOMPARE(spies[i]->count(), i == pressed ? 1 : 0);
}

void TestStationRows::remainingTimeKeepsClearOfItsNeighbours_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<bool>("wholeWordFits");
    QTest::newRow("at rest") << "00"
                             << "00" << true;
    QTest::newRow("ended") << "--"
                           << "--" << true;
    QTest::newRow("two hours") << "119"
                               << "60" << true;
    QTest::newRow("four digits") << "9999"
                                 << "05" << false;
    QTest::newRow("five digits") << "32766"
                                 << "58" << false;
}

void TestStationRows::remainingTimeKeepsClearOfItsNeighbours()
{
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    QFETCH(bool, wholeWordFits);
    QWidget panel;
    StationRow row(&panel, 0);
    const QRect restingMinutes = row.minutesDisplay()->geometry();
    const QRect restingSeconds = row.secondsDisplay()->geometry();
    const QLabel* colon = row.findChild<QLabel*>(QStringLiteral("Label4"));

    row.showTime(minutes, seconds);
    const QRect shownMinutes = row.minutesDisplay()->geometry();
    const QRect shownSeconds = row.secondsDisplay()->geometry();
    const QLabel* unit = row.minutesCaption();
    QCOMPARE(row.minutesDisplay()->text(), minutes);
    QCOMPARE(row.secondsDisplay()->text(), seconds);
    // Both displays keep beside the colon: the minutes grow leftwards, the seconds stay put.
    QCOMPARE(shownMinutes.right(), restingMinutes.right());
    QCOMPARE(shownSeconds.topLeft(), restingSeconds.topLeft());
    QVERIFY(shownMinutes.right() < colon->geometry().right());
    // The unit word stays where it was placed, whole when there is room, and never under the
    // minutes.
    QCOMPARE(unit->pos(), QPoint(7, 12));
    QVERIFY2(unit->geometry().right() < shownMinutes.left(), qPrintable(unit->text()));
    if (wholeWordFits)
        QCOMPARE(unit->text(), QStringLiteral("دقيقة"));
    else
        QVERIFY(unit->text() == QStringLiteral("دقيقة") || unit->text() == QStringLiteral("د"));

    // Back to a short count, the whole word returns.
    row.showTime(QStringLiteral("14"), QStringLiteral("60"));
    QCOMPARE(unit->text(), QStringLiteral("دقيقة"));
}

int main(int argc, char** argv)
{
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    TestStationRows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_stationrows.moc"
