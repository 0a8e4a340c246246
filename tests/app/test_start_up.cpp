#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The demo started as a user would, in child processes, each run in folders of its own.
class StartUpTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;

    QString folder(const QString& name) const
    {
        const QString path = home.filePath(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    std::unique_ptr<QProcess> start(const QString& qml_import_path = QString())
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", folder("runtime"));
        env.insert("XDG_DATA_HOME", folder("data"));
        env.insert("TMPDIR", folder("tmp"));
        env.insert("QML2_IMPORT_PATH", qml_import_path);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(LARKMOOR_DEMO, QStringList());
        return process;
    }

    QByteArray log() const
    {
        QFile file(home.filePath("data/Orvandel/Larkmoor/larkmoor.log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void starts_at_the_same_instant_leave_one_window_that_only_its_user_reaches()
    {
        auto first = start();
        auto second = start();
        QTRY_VERIFY_WITH_TIMEOUT(first->state() == QProcess::NotRunning || second->state() == QProcess::NotRunning,
                                 10000);
        QProcess& loser = first->state() == QProcess::NotRunning ? *first : *second;
        QProcess& winner = &loser == first.get() ? *second : *first;
        QVERIFY(loser.exitStatus() == QProcess::NormalExit && loser.exitCode() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(log().count("-> Program Running!"), 1, 10000);
        auto third = start();  // a later start also hands over and ends
        QVERIFY(third->waitForFinished(10000) && third->exitCode() == 0 && winner.state() == QProcess::Running);
        QVERIFY(log().count("-> Program Running!") == 1);

        // The endpoint lies in the user's private folder (not under TMPDIR, where another user
        // could take its name first), open to its user alone.
        const QFileInfoList endpoints = QDir(folder("runtime")).entryInfoList({"larkmoor-demo*"}, QDir::System);
        QCOMPARE(endpoints.size(), 1);
        QCOMPARE(endpoints[0].permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                 QFile::Permissions());
        winner.terminate();
        QVERIFY(winner.waitForFinished(5000));
    }

    void a_main_window_that_does_not_load_ends_the_program_with_failure()
    {
        // A QML module that cannot load, found before the real one (its exact version first).
        QFile qmldir(folder("qml/QtQuick/Window.2.12") + "/qmldir");
        QVERIFY(qmldir.open(QIODevice::WriteOnly) && qmldir.write("module QtQuick.Window\nplugin missing\n") > 0);
        qmldir.close();
        auto demo = start(home.filePath("qml"));
        QVERIFY(demo->waitForFinished(10000));
        QCOMPARE(demo->exitCode(), 1);
        QVERIFY(log().contains("Failed to load the main window from qrc:/main.qml"));
    }
};

QTEST_GUILESS_MAIN(StartUpTest)
#include "test_start_up.moc"
