#pragma once

#include <QList>
#include <QPair>
#include <QString>

class LineBuffer;

// The console's one channel to a station: two files in the client's install directory,
// reached over the station's share "C".
namespace CommandChannel {

// Lines of the command file that the console writes.
enum Line {
    CloseProtectionLine = 0,
    ShutDownLine = 2,
    LogOffLine = 3,
    SessionFlagLine = 5,
    SecondsLine = 6,
    MinutesLine = 7,
};

QString commandFilePath(const QString& stationName);
QString probeFilePath(const QString& stationName);

} // namespace CommandChannel

// The text shown when an operator command to a station fails.
extern const QString ConnectionFailedMessage;

// The text shown instead when the station answered but its command file cannot be used (larger
// than the limit, a folder or a device, a link): the operator is told which station and file.
QString StationFileMessage(const QString& stationName);

// Read-modify-write of one line of the station's command file through a scratch buffer.
// Throws AppError at the first failing step; a missing file is never created, and a file that
// lacks the line is a failure that leaves the file untouched (no line is ever added).
void CommandWrite(LineBuffer& scratch, const QString& stationName, int line, const QString& value);

// The same with several lines replaced in one load and one save.
void CommandWriteLines(LineBuffer& scratch, const QString& stationName, const QList<QPair<int, QString>>& lines);

// Reads the station's command file into the buffer and throws AppError unless it holds every
// line a session writes (the flag and both counters): a session must be able to end.
void RequireSessionLines(LineBuffer& scratch, const QString& stationName);

// Reads the station's probe file into the buffer; returns normally when the station is reachable
// and throws AppError when it is not.
void StationProbe(LineBuffer& probeBuffer, const QString& stationName);
