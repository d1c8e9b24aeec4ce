#pragma once

#include <QString>

class QWidget;

// Asks for the owner's PIN before what only the owner may do.
namespace OwnerPinPrompt {

// True when no PIN is set, or when the PIN typed is the owner's. A wrong PIN is told in the error
// box and recorded in the audit record (what names what was asked for); Cancel says nothing. Either
// way the caller then does nothing. Throws AppError when the PIN cannot be checked.
bool ask(QWidget* parent, const QString& what);

// Asks for a new PIN twice (empty removes it) and stores it. Returns false when cancelled or the two
// differ (told in the error box). Throws AppError for a PIN that is refused.
bool change(QWidget* parent);

} // namespace OwnerPinPrompt
