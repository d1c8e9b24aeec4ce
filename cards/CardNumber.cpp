#include "cards/CardNumber.h"

#include "install/SessionKind.h"

#include <QRandomGenerator>

#include <chrono>
#include <random>

namespace Cards {

const std::array<Kind, 2>& kinds()
{
    static const std::array<Kind, 2> table{
        {{SessionKind::GamesWord, QLatin1Char('G')}, {SessionKind::InternetWord, QLatin1Char('I')}}};
    return table;
}

QString unusedState()
{
    return QStringLiteral("غير مستخدم");
}

namespace {

// The operating system's generator with the card's clock word folded into every output. A
// uniform word XORed with an independent word stays uniform, so the clock can take nothing away
// from the system generator's strength; it only keeps each card's draws tied to its moment.
struct MixedSource
{
    using result_type = std::uint32_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return UINT32_MAX; }
    result_type operator()() { return QRandomGenerator::system()->generate() ^ clockWord; }

    std::uint32_t clockWord;
};

} // namespace

void CardRandom::reseed()
{
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    reseed(static_cast<std::uint32_t>(ticks));
}

void CardRandom::reseed(std::uint32_t clockWord)
{
    m_clockWord = clockWord;
}

int CardRandom::uniform(int bound)
{
    MixedSource source{m_clockWord};
    // libstdc++ maps the 32-bit words onto the range by rejection, so every value is equally likely.
    std::uniform_int_distribution<int> range(0, bound - 1);
    return range(source);
}

Draw CardRandom::draw()
{
    Draw d;
    d.letter1 = uniform(LetterCount);
    d.letter2 = uniform(LetterCount);
    d.number = uniform(NumberLimit);
    d.letter3 = uniform(LetterCount);
    return d;
}

QString numberHead(qint64 serial, const Draw& draw)
{
    return QString::number(serial) + QLatin1Char(Letters[draw.letter1]) + QLatin1Char(Letters[draw.letter2])
        + QString::number(draw.number) + QLatin1Char(Letters[draw.letter3]);
}

QString numberTail(const Category& category, const Kind& kind)
{
    return QString::number(category.code) + kind.letter;
}

} // namespace Cards
