#pragma once

#include <QString>
#include <optional>

// The owner's PIN and the owner's settings for the shifts, kept in the audit record's file. With no
// PIN set nothing asks for one. The PIN is stored only as an Argon2id password hash
// (crypto_pwhash_str), never in clear.
namespace OwnerPin {

// The shortest and longest PIN taken.
constexpr int MinLength = 4;
constexpr int MaxLength = 64;

// Whether a PIN is set. Throws AppError when the file cannot be read.
bool isSet();

// Checks the PIN against the stored hash; true when none is set. A wrong PIN is recorded in the
// audit record as a refusal naming what was asked for (what), and changes nothing. Throws
// AppError when the file cannot be read.
bool check(const QString& pin, const QString& what);

// Sets (or with an empty text removes) the PIN and records the change; returns the audit record's
// problem, if any, for the error box. Throws AppError for a PIN of the wrong length or a file that
// cannot be written: the stored PIN is then unchanged.
std::optional<QString> change(const QString& newPin);

// Whether the shift's close shows the expected cash only after the count is typed.
bool blindCount();
// Changes it and records the change; returns the audit record's problem, if any. Throws AppError.
std::optional<QString> setBlindCount(bool blind);

} // namespace OwnerPin
