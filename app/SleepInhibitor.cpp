#include "app/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>

namespace {
// A login manager answers at once; one that does not is not waited for.
constexpr int AnswerWaitMs = 2000;
bool g_toldUnavailable = false;
} // namespace

QString SleepInhibitor::unavailableMessage()
{
    return QStringLiteral("No login manager keeps this machine awake while sessions count");
}

void SleepInhibitor::setHeld(bool held)
{
    if (held == m_wanted)
        return;
    m_wanted = held;
    if (!held) {
        // Closing the descriptor is what lets the login manager put the machine to sleep again.
        m_lock = QDBusUnixFileDescriptor();
        return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    QString reason;
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:idle") << QStringLiteral("QuorvelServer")
             << QStringLiteral("Customers' paid sessions are being counted") << QStringLiteral("block");
        const QDBusMessage reply = bus.call(call, QDBus::Block, AnswerWaitMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            m_lock = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
        if (!m_lock.isValid())
            reason = reply.errorMessage();
    } else {
        reason = bus.lastError().message();
    }
    if (!m_lock.isValid() && !g_toldUnavailable) {
        g_toldUnavailable = true;
        qWarning().noquote() << unavailableMessage() + QStringLiteral(": ") + reason;
    }
}
