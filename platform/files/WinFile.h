#pragma once

#include "platform/AppError.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Whole-file access with Windows sharing rules. Files are opened only for the moment of the
// operation: local files below their base without following symlinks, a station's share with no
// local folder over SMB (SmbClient). Failures throw AppError with the platform's texts:
//   Cannot open file "<windows path>". <reason>
//   Cannot create file "<windows path>". <reason>
namespace WinFile {

// Reads the whole file. Shares reading but refuses writers: fails at once while another party
// holds the file for writing.
QByteArray read(const QString& windowsPath);

// Writes the whole text in place over an existing file, holding it exclusively, then cuts the
// file to the text's length; a missing file is an error and is never created. Fails at once,
// leaving the file as it was, while another party holds it in any way.
void write(const QString& windowsPath, const QByteArray& bytes);

// Every file below the prefix or a station's share is reached without following a symlink, and
// a file larger than this is refused: the system's files are a few lines each. The limit is 1 MiB
// and room for what the console itself writes into a station's file of that size (at most ten
// characters over its lines 0 to 7), so a file it grew is never refused afterwards.
constexpr qsizetype MaxFileSize = 1024 * 1024 + 64;

// A file that was reached but that the console cannot use: its station or folder answered, so
// this is not a connection that failed.
class Refused : public AppError
{
public:
    using AppError::AppError;
};

// Replaces the file whole: the text goes into a new file beside it, is flushed to disk and then
// renamed over the old one, so the file holds either its old text or the new one, never a part.
// Fails at once while another party holds the old file in any way. On any failure the old file
// stays as it was and no temporary file is left behind.
void replace(const QString& windowsPath, const QByteArray& bytes);

// Why stations over the network cannot be reached with the configured credentials; nothing when
// they can.
std::optional<QString> remoteAccessProblem();
// The text naming the stations over the network that refused the log-on since last asked, and the
// credentials file; nothing when none did.
std::optional<QString> takeLogonRefusals();
// What is wrong with the program that reaches stations over the network (missing, cannot be run,
// silent), once after it was found unusable; nothing when it works or was told already.
std::optional<QString> takeAgentProblem();

// Tests of kernels without openat2: files below the base are then reached one folder at a time.
void setWalkFoldersForTests(bool walk);

} // namespace WinFile
