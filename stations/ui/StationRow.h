#pragma once

#include <QFrame>
#include <array>

class CircleShape;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

// One station's row of the main window: the panel PanelC<i> with its name, lamps, command
// buttons and session controls. The row only builds and shows its components; what the buttons
// do belongs to the main window, which connects them.
class StationRow final : public QFrame
{
    Q_OBJECT
public:
    static constexpr int Count = 12;
    static constexpr int Left = 7;
    static constexpr int FirstTop = 31;
    static constexpr int Height = 36;

    // Creates the row's panel, hidden, in the given parent at the row's place.
    StationRow(QWidget* parent, int index);

    int index() const { return m_index; }

    // The station's network name is the name label's caption.
    QString stationName() const;
    void setStationName(const QString& name);

    // Green when reachable, red when not; one of the two lamps shows afterwards.
    void setLamp(bool reachable);
    bool lampShowsReachable() const;

    // Stop, exit, open, close and stop-time, in that order.
    std::array<QPushButton*, 5> commandButtons() const;
    void setCommandButtonsEnabled(bool enabled);

    // Shows the remaining time. The two displays keep beside the colon between them, and a long
    // count of minutes never draws over the unit word beyond it.
    void showTime(const QString& minutes, const QString& seconds);

    // Hides the session controls that card mode does not use.
    void hideCardModeSet();

    QPushButton* refreshButton() const { return m_refresh; }
    QPushButton* stopButton() const { return m_stop; }
    QPushButton* exitButton() const { return m_exit; }
    QPushButton* closeButton() const { return m_close; }
    QFrame* separator() const { return m_separator; }
    QRadioButton* gamesChoice() const { return m_games; }
    QRadioButton* internetChoice() const { return m_internet; }
    QComboBox* minutesBox() const { return m_minutes; }
    QPushButton* openButton() const { return m_open; }
    QPushButton* timeStopButton() const { return m_timeStop; }
    QLabel* remainingCaption() const { return m_remainingCaption; }
    QLabel* secondsDisplay() const { return m_seconds; }
    QLabel* minutesDisplay() const { return m_minutesDisplay; }
    QLabel* minutesCaption() const { return m_minutesCaption; }

private:
    int m_index;
    QPushButton* m_refresh;
    QLabel* m_name;
    CircleShape* m_green;
    CircleShape* m_red;
    QPushButton* m_stop;
    QPushButton* m_exit;
    QPushButton* m_close;
    QFrame* m_separator;
    QRadioButton* m_games;
    QRadioButton* m_internet;
    QComboBox* m_minutes;
    QPushButton* m_open;
    QPushButton* m_timeStop;
    QLabel* m_remainingCaption;
    QLabel* m_seconds;
    QLabel* m_colon;
    QLabel* m_minutesDisplay;
    QLabel* m_minutesCaption;
};
