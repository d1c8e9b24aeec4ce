// Any roster line as a station's name: refused, or its command file lies below the prefix's
// unc/NAME, or it is reached over SMB on share "C" of a host that passes the check. Never a path
// with "..", a separator or a NUL in a component, never anything outside those two places.

#include "FuzzCommon.h"

#include "platform/CodePage.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/WinPath.h"
#include "stations/CommandChannel.h"

static QString g_prefix;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_prefix = Fuzz::makePrefix();
    // One station with a local directory, so both ways of reaching a station are explored.
    QDir().mkpath(g_prefix + QStringLiteral("/unc/PC1/C/Program Files"));
    return 0;
}

namespace {

bool cleanComponent(const QString& c)
{
    return !c.isEmpty() && c != QStringLiteral(".") && c != QStringLiteral("..") && !c.contains(QLatin1Char('/'))
        && !c.contains(QLatin1Char('\\')) && !c.contains(QChar(0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The roster is a line file in the code page; every line is a station's name.
    const LineBuffer roster(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (qsizetype i = 0; i < roster.lineCount(); ++i) {
        const QString name = roster.line(i);
        if (!WinPath::isSafeUncName(name))
            continue; // the command channel refuses it before any path is made
        const WinPath::Resolved r = WinPath::resolve(CommandChannel::commandFilePath(name));
        if (!r.error.isEmpty()) {
            FUZZ_CHECK(r.localPath.isEmpty());
            continue;
        }
        if (!r.remoteHost.isEmpty()) {
            FUZZ_CHECK(WinPath::isSafeUrlHost(r.remoteHost));
            FUZZ_CHECK(r.remoteHost.compare(name, Qt::CaseInsensitive) == 0);
            FUZZ_CHECK(!r.remotePath.isEmpty() && r.remotePath.first().compare(QStringLiteral("C"), Qt::CaseInsensitive) == 0);
            for (const QString& c : r.remotePath)
                FUZZ_CHECK(cleanComponent(c));
            continue;
        }
        const QString uncRoot = g_prefix + QStringLiteral("/unc/");
        FUZZ_CHECK(r.localPath.startsWith(uncRoot));
        const QStringList parts = r.localPath.mid(uncRoot.size()).split(QLatin1Char('/'));
        FUZZ_CHECK(parts.size() > 2);
        FUZZ_CHECK(parts.first().compare(name, Qt::CaseInsensitive) == 0);
        for (const QString& c : parts)
            FUZZ_CHECK(cleanComponent(c));
    }
    return 0;
}
