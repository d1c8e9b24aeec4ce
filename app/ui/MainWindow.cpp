#include "app/ui/MainWindow.h"

#include "accounting/ui/ControlWindow.h"
#include "accounting/ui/ShiftBar.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "install/InstallPaths.h"
#include "install/SettingFiles.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/files/ShellLaunch.h"
#include "platform/files/WinFile.h"
#include "platform/ui/Application.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/Widgets.h"
#include "sessions/SessionAudit.h"
#include "sessions/SessionSteps.h"
#include "stations/CommandChannel.h"

#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    Widgets::makeFixedDialogWindow(this, QStringLiteral("QuorvelServer"), 787, 528);
    setLayoutDirection(Qt::RightToLeft);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    auto* cards = Widgets::button(this, QStringLiteral("BitBtn1"), QStringLiteral("منشئ البطاقات"), 669, 9, 111, 25);
    auto* control = Widgets::button(this, QStringLiteral("BitBtn4"), QStringLiteral("التحكم المركزي"), 578, 9, 84, 25);
    auto* refresh = Widgets::button(this, QStringLiteral("BitBtn2"), QStringLiteral("تحديث"), 497, 9, 75, 25);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    connect(cards, &QPushButton::clicked, this, Guard::slot(this, &MainWindow::BitBtn1Click));
    connect(control, &QPushButton::clicked, this, Guard::slot(this, &MainWindow::BitBtn4Click));
    connect(refresh, &QPushButton::clicked, this, Guard::slot(this, &MainWindow::BitBtn2Click));
    // The free space left of the buttons, above the stations' panel.
    m_shiftBar = new ShiftBar(this);
    m_shiftBar->move(6, 9);

    m_panel2 = Widgets::panel(this, QStringLiteral("Panel2"), {6, 39, 774, 485});

    Widgets::label(m_panel2, QStringLiteral("Label5"), QStringLiteral("اسم الجهاز"), 694, 9);
    Widgets::label(m_panel2, QStringLiteral("Label6"), QStringLiteral("الحالة"), 612, 9);
    Widgets::label(m_panel2, QStringLiteral("Label10"), QStringLiteral("التحكم بالجهاز"), 482, 9);
    m_perMinuteCaption = Widgets::label(m_panel2, QStringLiteral("Label8"), QStringLiteral("تشغيل/دقيقة"), 174, 9);

    for (int i = 0; i < StationRow::Count; ++i) {
        auto* row = new StationRow(m_panel2, i);
        m_rows[i] = row;
        connect(row->refreshButton(), &QPushButton::clicked, this, Guard::slot([this, i] { BitBtnRefreshClick(i); }));
        connect(row->stopButton(), &QPushButton::clicked, this, Guard::slot([this, i] { BitBtnStopClick(i); }));
        connect(row->exitButton(), &QPushButton::clicked, this, Guard::slot([this, i] { BitBtnExitClick(i); }));
        connect(row->closeButton(), &QPushButton::clicked, this, Guard::slot([this, i] { BitBtnCloseClick(i); }));
        connect(row->openButton(), &QPushButton::clicked, this, Guard::slot([this, i] { BitBtnOpenClick(i); }));
        connect(row->timeStopButton(), &QPushButton::clicked, this, Guard::slot([this, i] { BitBtnTimeStopClick(i); }));
    }

    Widgets::centreOnScreen(this);
}

void MainWindow::attach(ModeChooser* chooser, StationTools* tools, ControlWindow* control, Ledger* ledger)
{
    m_chooser = chooser;
    m_ledger = ledger;
    m_tools = tools;
    m_tools->setRows(m_rows);
    m_control = control;
}

void MainWindow::showConsole()
{
    show();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_modeChosen = true;
    Guard::run([this] { FormShow(); });
}

void MainWindow::resumeSessions()
{
    Guard::run([this] {
        m_journalLoaded = m_tools->loadJournal();
        if (!m_tools->holdsUnclaimedRecords())
            return;
        try {
            SettingFiles::loadRoster(m_rosterBuffer);
            m_rosterRead = true;
        } catch (const AppError&) {
            // The show reads it again and says what is wrong; the records wait for it.
            return;
        }
        const QList<int> named = namedRows();
        const auto probes = probeRows(named);
        for (int index : named)
            fillRow(*m_rows.at(index), *probes.at(index));
        closeUnnamedStations(named);
    });
}

void MainWindow::closeUnnamedStations(const QList<int>& named)
{
    QStringList roster;
    for (int index : named)
        roster.append(m_rosterBuffer.line(index));
    const QStringList unnamed = m_tools->closeUnnamed(roster);
    // Told once the window in front is on the screen, as the stations left open are.
    if (!unnamed.isEmpty()) {
        const QString text = StationTools::unnamedStationsMessage() + QLatin1Char('\n') + unnamed.join(QLatin1Char('\n'));
        QTimer::singleShot(0, this, Guard::slot([text] { MessageBoxes::showMessage(text); }));
    }
}

QList<int> MainWindow::namedRows() const
{
    // Later names keep their own rows below an empty line.
    QList<int> named;
    for (StationRow* row : m_rows) {
        if (!m_rosterBuffer.line(row->index()).isEmpty())
            named.append(row->index());
    }
    return named;
}

void MainWindow::FormShow()
{
    m_control->loadTariffs();
    if (!m_rosterRead) {
        SettingFiles::loadRoster(m_rosterBuffer);
        m_rosterRead = true;
    }
    // A credentials file that is refused is told once, not as a red lamp on every station.
    if (const std::optional<QString> problem = WinFile::remoteAccessProblem())
        Application::reportError(*problem);
    // A journal that could not be read at start-up is tried again; the rows show all the same.
    if (!m_journalLoaded)
        m_journalLoaded = m_tools->loadJournal();
    const QList<int> named = namedRows();
    const auto probes = probeRows(named);
    QStringList uncounted;
    for (int index : named) {
        if (fillRow(*m_rows.at(index), *probes.at(index)) == StationTools::Found::OpenWithoutRecord
            && !uncounted.contains(m_rows.at(index)->stationName())) {
            uncounted.append(m_rows.at(index)->stationName());
            StationTools::recordAudit(SessionAudit::foundOpen(uncounted.last()));
        }
    }
    closeUnnamedStations(named);
    reportLogonRefusals();
    // Stations left open by something other than this console's journal: nobody counts their
    // time, so the operator is told which ones to stop, once the window is on the screen.
    if (!uncounted.isEmpty()) {
        const QString text = uncountedStationsMessage() + QLatin1Char('\n') + uncounted.join(QLatin1Char('\n'));
        QTimer::singleShot(0, this, Guard::slot([text] { MessageBoxes::showMessage(text); }));
    }
}

QString MainWindow::uncountedStationsMessage()
{
    return QStringLiteral("هذه الأجهزة مفتوحة ولا يُحسب وقتها:");
}

std::array<std::optional<StationTools::Probe>, StationRow::Count> MainWindow::probeRows(const QList<int>& rows)
{
    // Each station is probed from its own thread, all at once: the window waits for the slowest
    // one bound, however many stations are off, and the ticks of the others go on meanwhile.
    std::array<std::optional<StationTools::Probe>, StationRow::Count> found;
    int waiting = int(rows.size());
    QEventLoop loop;
    for (int index : rows) {
        StationRow& row = *m_rows.at(index);
        m_currentStationName = m_rosterBuffer.line(index);
        row.show();
        row.setStationName(m_currentStationName);
        m_tools->probe(index, row.stationName(), [&found, &waiting, &loop, index](const StationTools::Probe& probe) {
            found.at(index) = probe;
            if (--waiting == 0)
                loop.quit();
        });
    }
    if (waiting > 0)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return found;
}

StationTools::Found MainWindow::fillRow(StationRow& row, const StationTools::Probe& probe)
{
    row.setLamp(probe.reachable);
    if (!probe.reachable)
        row.setCommandButtonsEnabled(false);
    return m_tools->stationProbed(row.index(), probe);
}

void MainWindow::BitBtnRefreshClick(int index)
{
    StationRow& row = *m_rows.at(index);
    m_currentStationName = m_rosterBuffer.line(index);
    row.setLamp(true);
    row.setCommandButtonsEnabled(true);
    if (!m_currentStationName.isEmpty()) {
        if (fillRow(row, *probeRows({index}).at(index)) == StationTools::Found::OpenWithoutRecord)
            StationTools::recordAudit(SessionAudit::foundOpen(row.stationName()));
        reportLogonRefusals();
    }
}

void MainWindow::reportLogonRefusals()
{
    // A station that refused the log-on answered: the credentials are what is wrong.
    if (const std::optional<QString> refused = WinFile::takeLogonRefusals())
        Application::reportError(*refused);
    // So is a program of ours that cannot reach any station: named once, not as every lamp red.
    if (const std::optional<QString> agent = WinFile::takeAgentProblem())
        Application::reportError(*agent);
}

void MainWindow::setLamp(int index, bool reachable)
{
    m_rows.at(index)->setLamp(reachable);
}

void MainWindow::BitBtnStopClick(int row)
{
    sendStationCommand(row, CommandChannel::ShutDownLine);
}

void MainWindow::BitBtnExitClick(int row)
{
    sendStationCommand(row, CommandChannel::LogOffLine);
}

void MainWindow::BitBtnCloseClick(int row)
{
    sendStationCommand(row, CommandChannel::CloseProtectionLine);
}

void MainWindow::sendStationCommand(int row, int line)
{
    const QString station = m_rows.at(row)->stationName();
    QString failure;
    try {
        LineBuffer& scratch = m_tools->memo(row);
        m_tools->runner(row)([&] { CommandWrite(scratch, station, line, QStringLiteral("1")); });
    } catch (const WinFile::Refused&) {
        // The station answered: what is wrong is its file, and the operator is told so.
        failure = StationFileMessage(station);
    } catch (...) {
        // The operator learns only that the station did not take the command; the lamp and the
        // buttons stay as they are until a refresh.
        failure = ConnectionFailedMessage;
    }
    if (!failure.isEmpty()) {
        MessageBoxes::showMessage(failure);
        return;
    }
    StationTools::recordAudit(SessionAudit::command(station, line));
    m_tools->stationAnswered(row);
}

void MainWindow::BitBtnOpenClick(int index)
{
    StationRow& row = *m_rows.at(index);
    const QString minutes = row.minutesBox()->currentText();
    const bool games = row.gamesChoice()->isChecked();
    // A double-click, or a press given while the station was slow to answer, reaches here after
    // the opening it repeats: it is not a second customer to bill.
    LastOpening& last = m_lastOpening.at(index);
    if (last.valid && last.minutes == minutes && last.games == games && Clock::monotonicMs() - last.doneAtMs < RepeatWindowMs)
        return;
    SessionSteps::OpenOutcome outcome;
    CountdownState countdown;
    {
        const StationTools::RowCommand command(*m_tools, index);
        countdown = m_tools->countdown(index);
        outcome = SessionSteps::open(
            countdown, m_tools->memo(index), *m_ledger,
            {minutes, row.stationName(), games, m_control->gamesTariffText(), m_control->internetTariffText()},
            m_tools->runner(index));
    }
    last = {Clock::monotonicMs(), minutes, games, outcome.result == SessionSteps::OpenResult::Opened};
    m_tools->setCountdown(index, countdown);
    // An opening undone may owe the station its "0": the lamp says it was not reached.
    if (countdown.owesZero())
        setLamp(index, false);
    switch (outcome.result) {
    case SessionSteps::OpenResult::Opened:
        StationTools::recordAudit(outcome.audit);
        break;
    case SessionSteps::OpenResult::BadEntry:
        MessageBoxes::showMessage(SettingFiles::entryErrorMessage());
        break;
    case SessionSteps::OpenResult::StationFailed:
        MessageBoxes::showMessage(ConnectionFailedMessage);
        break;
    case SessionSteps::OpenResult::FileRefused:
        MessageBoxes::showMessage(StationFileMessage(row.stationName()));
        break;
    case SessionSteps::OpenResult::LedgerFailed:
        // The station was reached: the ledger is what failed, in the words of the store.
        Application::reportError(outcome.text);
        break;
    }
}

void MainWindow::BitBtnTimeStopClick(int index)
{
    // An opening after a stop is a new customer, however soon it comes.
    m_lastOpening.at(index).valid = false;
    const QString station = m_rows.at(index)->stationName();
    const CountdownState before = m_tools->countdown(index);
    CountdownState countdown;
    Countdown::Outcome outcome;
    {
        const StationTools::RowCommand command(*m_tools, index);
        countdown = m_tools->countdown(index);
        outcome = SessionSteps::stop(countdown, m_tools->memo(index), station, m_tools->runner(index));
    }
    // The countdown stops even when the station did not take the flag; the "0" is then owed to
    // it and tried again until it is written.
    m_tools->setCountdown(index, countdown);
    StationTools::recordAudit(SessionAudit::stopped(station, before, outcome));
    if (outcome != Countdown::Outcome::Written) {
        setLamp(index, false);
        MessageBoxes::showMessage(outcome == Countdown::Outcome::Refused ? StationFileMessage(station) : ConnectionFailedMessage);
    }
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // The stop-time buttons are this window's cancel buttons: Escape that no control took for
    // itself presses the first one that could take the focus.
    bool pressed = false;
    Guard::run([&] {
        const auto held = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (event->key() != Qt::Key_Escape || held != Qt::NoModifier)
            return;
        for (StationRow* row : m_rows) {
            QPushButton* button = row->timeStopButton();
            if (button->isVisibleTo(this) && button->isEnabled()) {
                button->click();
                pressed = true;
                return;
            }
        }
    });
    if (!pressed)
        QWidget::keyPressEvent(event);
}

void MainWindow::hideCardModeSet()
{
    m_perMinuteCaption->hide();
    for (StationRow* row : m_rows)
        row->hideCardModeSet();
}

void MainWindow::BitBtn1Click()
{
    ShellLaunch::open(InstallPaths::CardProgram, QString(), QString());
}

void MainWindow::BitBtn4Click()
{
    m_control->openWindow();
}

void MainWindow::BitBtn2Click()
{
    // Closing the main form ends this instance once the handler returns; the new one starts
    // from the chooser in the same current directory.
    if (m_beforeRestart)
        m_beforeRestart();
    m_chooser->close();
    ShellLaunch::restartSelf();
}
