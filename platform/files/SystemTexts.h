#pragma once

#include <QString>

// The reasons Windows gives for a failed file or network operation, in its words: the messages
// built on them read as the old program's did, whichever way a station is reached.
namespace SystemTexts {

inline QString networkPathNotFound()
{
    return QStringLiteral("The network path was not found");
}
inline QString fileNotFound()
{
    return QStringLiteral("The system cannot find the file specified");
}
inline QString accessDenied()
{
    return QStringLiteral("Access is denied");
}
// A name that is a folder or a device where a file was expected.
inline QString notAFile()
{
    return QStringLiteral("Access is denied: the name is a folder or a device, not a file");
}
inline QString sharingViolation()
{
    return QStringLiteral("The process cannot access the file because it is being used by another process");
}
inline QString fileTooLarge()
{
    return QStringLiteral("The file is larger than 1 MiB");
}
// A link that is not followed: Windows' words for a reparse point it will not follow.
inline QString cannotBeAccessed()
{
    return QStringLiteral("The file cannot be accessed by the system");
}

} // namespace SystemTexts
