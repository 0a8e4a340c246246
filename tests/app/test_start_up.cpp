#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <memory>

// The demo started as a user would, in child processes, each run in folders of its own.
class StartUpTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> home;

    QString folder(const QString& name) const
    {
        const QString path = home->filePath(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    std::unique_ptr<QProcess> start()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_QUICK_BACKEND", "software");
        env.insert("XDG_RUNTIME_DIR", folder("runtime"));
        env.insert("XDG_DATA_HOME", folder("data"));
        env.insert("TMPDIR", folder("tmp"));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(LARKMOOR_DEMO, QStringList());
        return process;
    }

    int windows_started() const
    {
        QFile log(home->filePath("data/Orvandel/Larkmoor/larkmoor.log"));
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return log.readAll().count("-> Program Running!");
    }

    static void stop(QProcess& process)
    {
        process.terminate();
        process.waitForFinished(5000);
    }

private slots:
    void init() { home = std::make_unique<QTemporaryDir>(); }

    void a_socket_planted_under_the_old_name_does_not_stop_a_start()
    {
        // Another user's program listening where the endpoint used to be.
        QLocalServer planted;
        QVERIFY(planted.listen(folder("tmp") + "/larkmoor-demo-" + QString::number(getuid())));
        auto demo = start();
        QTRY_COMPARE_WITH_TIMEOUT(windows_started(), 1, 10000);
        QCOMPARE(demo->state(), QProcess::Running);
        QVERIFY(!planted.hasPendingConnections());
        // Only its user may reach the endpoint.
        const QFileInfo endpoint(home->filePath("runtime/larkmoor-demo-" + QString::number(getuid())));
        QVERIFY(endpoint.exists());
        QCOMPARE(endpoint.permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                 QFile::Permissions());
        stop(*demo);
    }

    void two_starts_at_the_same_instant_leave_one_window()
    {
        auto first = start();
        auto second = start();
        QTRY_VERIFY_WITH_TIMEOUT(first->state() == QProcess::NotRunning || second->state() == QProcess::NotRunning,
                                 10000);
        QProcess& loser = first->state() == QProcess::NotRunning ? *first : *second;
        QProcess& winner = &loser == first.get() ? *second : *first;
        QCOMPARE(loser.exitStatus(), QProcess::NormalExit);
        QCOMPARE(loser.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(windows_started(), 1, 10000);
        QTest::qWait(500);
        QCOMPARE(winner.state(), QProcess::Running);
        QCOMPARE(windows_started(), 1);

        // A later start also hands over and ends.
        auto third = start();
        QVERIFY(third->waitForFinished(10000));
        QCOMPARE(third->exitCode(), 0);
        QCOMPARE(windows_started(), 1);
        stop(winner);
    }
};

QTEST_GUILESS_MAIN(StartUpTest)
#include "test_start_up.moc"
