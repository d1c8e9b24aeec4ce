#include "stations/CommandChannel.h"
#include "platform/files/SystemTexts.h"

#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/WinPath.h"

const QString ConnectionFailedMessage = QStringLiteral("الإتصال غير قائم حاليا مع الجهاز المطلوب");

QString StationFileMessage(const QString& stationName)
{
    return QStringLiteral("الملف command.inf على الجهاز %1 لا يصلح للاستعمال: إنه أكبر من 1 ميغابايت أو ليس ملفا عاديا")
        .arg(stationName);
}

namespace CommandChannel {

namespace {

QString stationFile(const QString& stationName, const QString& file)
{
    return InstallPaths::stationCommandDir(stationName) + QLatin1Char('\\') + file;
}

// A name with a separator would lead the UNC path somewhere other than that station.
void requireHostName(const QString& stationName, const QString& path)
{
    if (!WinPath::isSafeUncName(stationName))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, SystemTexts::networkPathNotFound()));
}

AppError missingLine(const QString& path, qsizetype index)
{
    return AppError(QStringLiteral("The command file \"%1\" has no line %2").arg(path).arg(index));
}

} // namespace

QString commandFilePath(const QString& stationName)
{
    return stationFile(stationName, InstallPaths::CommandFileName);
}

QString probeFilePath(const QString& stationName)
{
    return stationFile(stationName, InstallPaths::ProbeFileName);
}

} // namespace CommandChannel

void CommandWriteLines(LineBuffer& scratch, const QString& stationName, const QList<QPair<int, QString>>& lines)
{
    const QString path = CommandChannel::commandFilePath(stationName);
    CommandChannel::requireHostName(stationName, path);
    scratch.load(path);
    // The client reads its commands by line number, so no line is ever added to reach one: a file
    // without the line fails the command and is left untouched.
    for (const auto& [index, value] : lines) {
        if (index >= scratch.lineCount())
            throw CommandChannel::missingLine(path, index);
    }
    for (const auto& [index, value] : lines)
        scratch.setLine(index, value);
    scratch.save(CommandChannel::commandFilePath(stationName));
}

void CommandWrite(LineBuffer& scratch, const QString& stationName, int line, const QString& value)
{
    CommandWriteLines(scratch, stationName, {{line, value}});
}

void RequireSessionLines(LineBuffer& scratch, const QString& stationName)
{
    const QString path = CommandChannel::commandFilePath(stationName);
    CommandChannel::requireHostName(stationName, path);
    scratch.load(path);
    if (scratch.lineCount() <= CommandChannel::MinutesLine)
        throw CommandChannel::missingLine(path, scratch.lineCount());
}

void StationProbe(LineBuffer& probeBuffer, const QString& stationName)
{
    const QString path = CommandChannel::probeFilePath(stationName);
    CommandChannel::requireHostName(stationName, path);
    probeBuffer.load(path);
}
