#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>
#include <QThread>

#include <atomic>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using velomire::app::SingleInstance;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void ASecondStartHandsItsProgramToTheRunningOne() {
        const QString name =
            QStringLiteral("velomire-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance running(name);
        QStringList opened;
        QVERIFY(running.Listen([&opened](const QString& path) { opened << path; }));

        // The second start runs its blocking hand-over on another thread, as a second process
        // would, while this one keeps serving.
        std::atomic<bool> handedOver = false;
        QThread* second = QThread::create([&] {
            SingleInstance start(name);
            handedOver = start.SendToRunning(QStringLiteral("/music/Strings.vmp"), 3000);
        });
        second->start();
        QTRY_VERIFY(second->isFinished());
        delete second;
        QVERIFY(handedOver);
        // Made absolute by the second start (on Windows with its drive).
        QCOMPARE(opened,
                 QStringList{QFileInfo(QStringLiteral("/music/Strings.vmp")).absoluteFilePath()});

        // A start without a running application finds nobody and goes on by itself.
        SingleInstance alone(name + QStringLiteral("-nobody"));
        QVERIFY(!alone.SendToRunning(QStringLiteral("/music/Other.vmp"), 200));

        // A second application started without a file leaves the first one its socket.
        SingleInstance another(name);
        QVERIFY(!another.Listen([](const QString&) {}));
    }

    void EachDisplayHasItsOwnApplicationWhateverTheEnvironmentSaysOfTheUser() {
#ifndef Q_OS_UNIX
        QSKIP("X and Wayland displays are Unix's");
#else
        qunsetenv("WAYLAND_DISPLAY");
        qputenv("DISPLAY", ":77");
        const QString first = SingleInstance::SessionName();
        qputenv("DISPLAY", ":78");
        qunsetenv("USER");
        const QString second = SingleInstance::SessionName();
        QVERIFY(first != second);
        QVERIFY(second.contains(QStringLiteral("-%1-").arg(getuid())));
#endif
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
