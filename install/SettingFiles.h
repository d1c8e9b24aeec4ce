#pragma once

#include <QString>
#include <optional>

class LineBuffer;

// The small line-based settings files of the install tree.
namespace SettingFiles {

struct Tariffs
{
    QString games;    // line 0
    QString internet; // line 1
};

// Loads the tariff file into the buffer and returns its first two lines. Throws AppError (the
// buffer keeps what it held) when the file cannot be read.
Tariffs loadTariffs(LineBuffer& buffer);

// Writes the two texts, exactly as typed, into lines 0 and 1 of the buffer as last loaded (adding
// line 1 when the file had only one line), so every later line survives, then replaces the tariff
// file whole with the buffer. Throws AppError, the file unchanged, when the save fails.
void saveTariffs(LineBuffer& buffer, const Tariffs& tariffs);

// The card creator's tariffs: the same layout in its own file.
void saveCardTariffs(LineBuffer& buffer, const Tariffs& tariffs);

// The tariff change command of both tariff windows: a games tariff out of range is refused with
// entryErrorMessage() and nothing is saved; so is, where sessions are priced with it, an internet
// tariff that is not a number or is negative (the card creator's is stored as typed). Otherwise
// save() stores both tariffs and the answer is storedMessage(). Throws AppError when the games
// tariff is not a number or the save fails (the file then keeps what it held), so success is only
// ever answered for a save that holds both.
enum class InternetTariff { AsTyped, MustPrice };
QString changeTariffs(LineBuffer& buffer, const Tariffs& tariffs, void (*save)(LineBuffer&, const Tariffs&),
                      InternetTariff internet);

// changeTariffs, and when it saved, one audit row (event) for each tariff that differs from what
// the file held before: kind, old and new text. The file's previous tariffs are read from the file
// itself, since the card creator never loads its own. A row that cannot be written undoes nothing:
// its reason comes back beside the answer, for the error box.
struct Answer
{
    QString message;
    std::optional<QString> auditProblem;
};
Answer changeTariffsRecorded(LineBuffer& buffer, const Tariffs& tariffs, const QString& file,
                             void (*save)(LineBuffer&, const Tariffs&), InternetTariff internet, const QString& event);

// The games tariff of either tariff file is accepted from 0 to 10, both included. Throws AppError
// when the text is not a number.
bool gamesTariffAccepted(const QString& text);
// A tariff that a session can be priced with: a finite number, 0 or more. The internet tariff
// is saved only when it is one, and stored as typed.
bool tariffUsable(const QString& text);

// The answers of the tariff change commands.
QString entryErrorMessage(); // a games tariff out of range
QString storedMessage();     // the tariffs were saved

// Loads the station roster (relative to the current directory) into the buffer.
void loadRoster(LineBuffer& buffer);

} // namespace SettingFiles
