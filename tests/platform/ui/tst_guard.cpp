#include "platform/AppError.h"
#include "platform/ui/Guard.h"
#include "platform/ui/MessageBoxes.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

// Runs on a plain QApplication, without the application class's notify(): an exception that
// got past the guard would cross Qt's frames and end the test.
class TestGuard : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void throwingHandlerShowsTheBox_data();
    void throwingHandlerShowsTheBox();
    void memberSlotGetsTheSignalArguments();
    void theLoopGoesOnAfterAThrowingTick();
    void eventOverrideReturnsNormally();

private:
    QList<MessageBoxes::Shown> m_boxes;
};

namespace {

enum class Throws { Nothing, AppErrorText, StdException, SomethingElse };

void handler(Throws what)
{
    switch (what) {
    case Throws::Nothing:
        return;
    case Throws::AppErrorText:
        throw AppError(QStringLiteral("لا يمكن فتح الملف"));
    case Throws::StdException:
        throw std::runtime_error("bad thing");
    case Throws::SomethingElse:
        throw 42;
    }
}

// A window whose event override throws, guarded the way the windows guard theirs.
class ThrowingWindow : public QWidget
{
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent*) override
    {
        Guard::run([this] {
            ++keys;
            throw AppError(QStringLiteral("key failed"));
        });
    }
};

class Receiver : public QObject
{
public:
    QString got;
    void take(const QString& text)
    {
        got = text;
        throw AppError(text + QStringLiteral(" refused"));
    }
};

} // namespace

void TestGuard::init()
{
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
}

void TestGuard::cleanup()
{
    MessageBoxes::setRecorderForTests({});
}

void TestGuard::throwingHandlerShowsTheBox_data()
{
    QTest::addColumn<int>("throws");
    QTest::addColumn<QString>("shown"); // empty: no box
    QTest::newRow("nothing") << int(Throws::Nothing) << QString();
    QTest::newRow("AppError") << int(Throws::AppErrorText) << QStringLiteral("لا يمكن فتح الملف.");
    QTest::newRow("std::exception") << int(Throws::StdException) << QStringLiteral("bad thing.");
    QTest::newRow("anything else") << int(Throws::SomethingElse) << QStringLiteral("Unknown error.");
}

void TestGuard::throwingHandlerShowsTheBox()
{
    QFETCH(int, throws);
    QFETCH(QString, shown);
    QPushButton button;
    int after = 0;
    connect(&button, &QPushButton::clicked, &button, Guard::slot([throws] { handler(Throws(throws)); }));
    // A later slot on the same signal still runs: the emission was not unwound.
    connect(&button, &QPushButton::clicked, &button, [&after] { ++after; });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(after, 1);
    if (shown.isEmpty()) {
        QVERIFY(m_boxes.isEmpty());
        return;
    }
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).title, QStringLiteral("QuorvelServer"));
    QCOMPARE(m_boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.at(0).text, shown);
    QCOMPARE(Guard::run([throws] { handler(Throws(throws)); }), false);
}

void TestGuard::memberSlotGetsTheSignalArguments()
{
    QObject sender;
    Receiver receiver;
    connect(&sender, &QObject::objectNameChanged, &receiver, Guard::slot(&receiver, &Receiver::take));
    sender.setObjectName(QStringLiteral("Edit4"));
    QCOMPARE(receiver.got, QStringLiteral("Edit4"));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).text, QStringLiteral("Edit4 refused."));
}

void TestGuard::theLoopGoesOnAfterAThrowingTick()
{
    QTimer timer;
    timer.setInterval(5);
    int ticks = 0;
    connect(&timer, &QTimer::timeout, &timer, Guard::slot([&ticks] {
        ++ticks;
        throw AppError(QStringLiteral("tick %1").arg(ticks));
    }));
    timer.start();
    QTRY_VERIFY(ticks >= 3);
    timer.stop();
    QCOMPARE(m_boxes.size(), ticks);
    QCOMPARE(m_boxes.at(2).text, QStringLiteral("tick 3."));
}

void TestGuard::eventOverrideReturnsNormally()
{
    ThrowingWindow window;
    window.show();
    QTest::keyClick(&window, Qt::Key_A);
    QTest::keyClick(&window, Qt::Key_B);
    QCOMPARE(window.keys, 2);
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes.at(1).text, QStringLiteral("key failed."));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestGuard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_guard.moc"
