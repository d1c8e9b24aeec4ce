#pragma once

#include <QString>

// The two kinds of session, stored as these words in the ledger and in the card tables.
namespace SessionKind {

inline const QString GamesWord = QStringLiteral("ألعاب");
inline const QString InternetWord = QStringLiteral("أنترنيت");

} // namespace SessionKind
