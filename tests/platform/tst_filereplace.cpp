#include "platform/AppError.h"
#include "platform/files/SystemTexts.h"
#include "platform/files/WinFile.h"
#include "support/FileSizeLimit.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QFileInfo>
#include <QtTest>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString File = QStringLiteral("C:\\settings\\costControl.inf");
const QByteArray Old = "0.5\r\n0.5\r\nkept";

QStringList entries(const TestPrefix& prefix)
{
    return QDir(prefix.local(QStringLiteral("C:\\settings"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestFileReplace : public QObject
{
    Q_OBJECT
private slots:
    void replacesWholeAndKeepsThePermissions();
    void createsAMissingFile();
    void failureLeavesTheOldFile_data();
    void failureLeavesTheOldFile();
};

void TestFileReplace::replacesWholeAndKeepsThePermissions()
{
    TestPrefix prefix;
    prefix.writeFile(File, Old);
    QVERIFY(::chmod(QFile::encodeName(prefix.local(File)).constData(), 0640) == 0);
    WinFile::replace(File, "1");
    QCOMPARE(prefix.readFile(File), QByteArray("1"));
    QCOMPARE(QFileInfo(prefix.local(File)).permissions(),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser | QFile::ReadGroup);
    QCOMPARE(entries(prefix), QStringList{"costControl.inf"});
    // A name in another case is the same file, as on Windows.
    WinFile::replace(QStringLiteral("C:\\SETTINGS\\CostControl.INF"), "2");
    QCOMPARE(prefix.readFile(File), QByteArray("2"));
    QCOMPARE(entries(prefix), QStringList{"costControl.inf"});
}

void TestFileReplace::createsAMissingFile()
{
    TestPrefix prefix;
    QDir().mkpath(prefix.local(QStringLiteral("C:\\settings")));
    WinFile::replace(File, "0.5\r\n0.25");
    QCOMPARE(prefix.readFile(File), QByteArray("0.5\r\n0.25"));
    QCOMPARE(entries(prefix), QStringList{"costControl.inf"});
}

void TestFileReplace::failureLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full while writing") << "size limit"
                                             << "File too large";
    QTest::newRow("no room for the temporary name") << "long name"
                                                    << "File name too long";
    QTest::newRow("held by another program") << "held" << SystemTexts::sharingViolation();
    QTest::newRow("the name is a directory") << "directory"
                                             << "Is a directory";
    // A link below the prefix is never followed: the file it points at stays as it was.
    QTest::newRow("the file is a link") << "file link"
                                        << "The file cannot be accessed by the system";
    QTest::newRow("the folder is a link") << "folder link"
                                          << "The file cannot be accessed by the system";
}

void TestFileReplace::failureLeavesTheOldFile()
{
    QFETCH(QString, failure);
    QFETCH(QString, reason);
    TestPrefix prefix;
    // The longest name the file system takes leaves no room for a temporary name beside it.
    const QString file = failure == "long name" ? QStringLiteral("C:\\settings\\") + QString(255, 'n') : File;
    const QString elsewhere = QStringLiteral("C:\\elsewhere\\costControl.inf");
    if (failure == "directory") {
        QDir().mkpath(prefix.local(file));
    } else if (failure == "file link") {
        prefix.writeFile(elsewhere, Old);
        QDir().mkpath(prefix.local(QStringLiteral("C:\\settings")));
        QVERIFY(QFile::link(prefix.local(elsewhere), prefix.local(QStringLiteral("C:\\settings")) + "/costControl.inf"));
    } else if (failure == "folder link") {
        prefix.writeFile(elsewhere, Old);
        QVERIFY(QFile::link(QFileInfo(prefix.local(elsewhere)).path(), prefix.local(QStringLiteral("C:\\")) + "/settings"));
    } else {
        prefix.writeFile(file, Old);
    }
    const QByteArray before = prefix.readFile(file);
    const QStringList entriesBefore = entries(prefix);

    int holder = -1;
    if (failure == "held") {
        holder = ::open(QFile::encodeName(prefix.local(file)).constData(), O_RDONLY);
        struct flock lock
        {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        QVERIFY(holder >= 0 && ::fcntl(holder, F_OFD_SETLK, &lock) == 0);
    }
    try {
        std::optional<FileSizeLimit> limit;
        if (failure == "size limit")
            limit.emplace(4);
        WinFile::replace(file, "10\r\n0.25\r\nkept");
        QFAIL("the replace went through");
    } catch (const AppError& e) {
        QVERIFY2(e.text().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(file)), qPrintable(e.text()));
        QVERIFY2(e.text().endsWith(reason), qPrintable(e.text()));
    }
    if (holder >= 0)
        ::close(holder);
    QCOMPARE(prefix.readFile(file), before);
    QCOMPARE(entries(prefix), entriesBefore); // no temporary file left behind
}

QTEST_APPLESS_MAIN(TestFileReplace)
#include "tst_filereplace.moc"
