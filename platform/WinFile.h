#pragma once

#include <QByteArray>
#include <QString>

// Whole-file access with Windows sharing rules. Files are opened only for the moment of the
// operation. Failures throw AppError with the platform's texts:
//   Cannot open file "<windows path>". <reason>
//   Cannot create file "<windows path>". <reason>
namespace WinFile {

// Reads the whole file. Shares reading but refuses writers: fails at once while another party
// holds the file for writing.
QByteArray read(const QString& windowsPath);

// Creates the file anew or truncates it, holding it exclusively, and writes the whole text in
// place. Fails at once, leaving the file as it was, while another party holds it in any way.
void write(const QString& windowsPath, const QByteArray& bytes);

QString sharingViolationText();

// Replaces the file whole: the text goes into a new file beside it, is flushed to disk and then
// renamed over the old one, so the file holds either its old text or the new one, never a part.
// Fails at once while another party holds the old file in any way. On any failure the old file
// stays as it was and no temporary file is left behind.
void replace(const QString& windowsPath, const QByteArray& bytes);

} // namespace WinFile
