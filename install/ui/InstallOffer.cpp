#include "install/ui/InstallOffer.h"

#include "install/InstallHome.h"
#include "install/Installer.h"
#include "platform/AppError.h"
#include "platform/ui/MessageBoxes.h"

#include <QMessageBox>
#include <QTextStream>

namespace {

bool askToMake(const QString& dir)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("QuorvelServer"),
                    QStringLiteral("لا يوجد تثبيت في:\n%1\n\n"
                                   "هل تريد إنشاءه الآن؟ تُنشأ فيه ملفات الإعدادات وجداول الحسابات والبطاقات فارغة، "
                                   "ثم تُكتب أسماء الأجهزة في commandServer/ComputersConect.inf.")
                        .arg(dir),
                    QMessageBox::Yes | QMessageBox::No);
    box.setObjectName(QStringLiteral("InstallOfferBox"));
    // The path is shown as it is, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

bool enterInstallOrOffer(const QString& programDir)
{
    try {
        if (InstallHome::enter())
            return true;
        const QString dir = InstallHome::directory();
        if (!askToMake(dir))
            return false;
        Installer installer({false, programDir});
        const bool made = installer.run();
        // Started from a terminal, the operator sees every step, as quorvel-setup prints them.
        QTextStream err(stderr);
        for (const QString& line : installer.report())
            err << line << "\n";
        if (!made) {
            // The first failure is the cause; what could not be made after it follows from it.
            const QStringList failures = installer.report().filter(QStringLiteral("failed"));
            throw AppError(QStringLiteral("تعذّر إنشاء التثبيت في %1:\n%2").arg(dir, failures.value(0)));
        }
        if (!InstallHome::enter())
            throw AppError(QStringLiteral("تعذّر إنشاء التثبيت في %1").arg(dir));
        return true;
    } catch (const AppError& error) {
        MessageBoxes::showError(error.text());
        return false;
    }
}
