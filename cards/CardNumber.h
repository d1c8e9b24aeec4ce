#pragma once

#include <QString>

#include <array>
#include <cstdint>

// What a prepaid card is made of: its category, its kind and its number.
//
// A card number is the card's serial, two letters, a number from 0 to 9999, a letter, the
// category code and the kind letter, without separators ("37QW512E1G"). The serial makes the
// number unique within its table; the random middle makes it hard to guess.
namespace Cards {

struct Category
{
    int minutes; // Time1 and ReminTime of the card
    int code;    // the digit in the card number
};

// In the order of the category buttons: quarter hour, half hour, hour, two hours.
inline constexpr std::array<Category, 4> Categories{{{15, 4}, {30, 2}, {60, 1}, {120, 3}}};

struct Kind
{
    QString word; // the Kind field: the session kind's word
    QChar letter; // the last character of the card number
};

// Games, then internet, in the order of the kind buttons.
const std::array<Kind, 2>& kinds();

// The letters in keyboard order; a letter draw is an index into this row.
inline constexpr char Letters[] = "QWERTYUIOPASDFGHJKLZXCVBNM";
inline constexpr int LetterCount = 26;
inline constexpr int NumberLimit = 10000; // the number is drawn from 0 to NumberLimit - 1

// The state of a card that has never been used.
QString unusedState();

// The random part of one card number.
struct Draw
{
    int letter1 = 0; // index into Letters
    int letter2 = 0;
    int number = 0; // 0 to 9999
    int letter3 = 0;
};

// Draws the random part of one card number. Every value comes from the operating system's
// cryptographically secure generator: card numbers are bearer tokens worth money, so nobody
// may predict one from the cards printed before it or from the time it was made.
class CardRandom
{
public:
    virtual ~CardRandom() = default;

    // Starts the draws of a new card from the fast clock, as each card always has.
    void reseed();
    // The same with a given clock word; the draws stay unpredictable whatever the word is.
    void reseed(std::uint32_t clockWord);
    // Letter 1, letter 2, the number and letter 3, in this order, each uniform over its range.
    // Virtual so that a test can make two cards draw alike.
    virtual Draw draw();

    // Uniform over 0 .. bound - 1 (bound >= 1), without modulo bias.
    int uniform(int bound);

private:
    std::uint32_t m_clockWord = 0;
};

// The first part of the number, known once the serial is: serial, letter 1, letter 2, the
// number and letter 3.
QString numberHead(qint64 serial, const Draw& draw);
// The last part: the category code and the kind letter.
QString numberTail(const Category& category, const Kind& kind);

} // namespace Cards
