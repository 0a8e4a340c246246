#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

#include <unistd.h>

// The demo started as a user would, in child processes, each test in folders of its own.
class StartUpTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir home;
    // Short, since a socket's path may not be long.
    QString root;
    int runs = 0;
    // The program and arguments that start the demo, which follows them; none: the demo itself.
    QStringList wrapper;
    const QString handed_over = "Larkmoor is already running; its window has been asked to come forward.";

    QString folder(const QString& name) const
    {
        const QString path = root + "/" + name;
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

    std::unique_ptr<QProcess> start(const std::function<void(QProcessEnvironment&)>& adjust = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", folder("runtime"));
        env.insert("XDG_DATA_HOME", folder("data"));
        env.insert("XDG_CONFIG_HOME", folder("config"));
        env.insert("TMPDIR", folder("tmp"));
        if (adjust)
            adjust(env);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        const QStringList command = wrapper + QStringList{LARKMOOR_DEMO};
        process->start(command.first(), command.mid(1));
        return process;
    }

    QByteArray log() const
    {
        QFile file(folder("data") + "/Orvandel/Larkmoor/larkmoor.log");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QStringList error_lines(QProcess& process)
    {
        return QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    }

    // A later start that ends with 0 and says so: the running window answered, so it is up.
    void expect_hand_over()
    {
        auto later = start();
        QVERIFY(later->waitForFinished(15000));
        QCOMPARE(later->exitCode(), 0);
        QCOMPARE(error_lines(*later), QStringList{handed_over});
    }

    static void stop(QProcess& process)
    {
        process.terminate();
        QVERIFY(process.waitForFinished(5000));
    }

private slots:
    void init()
    {
        root = home.filePath(QString::number(++runs));
        wrapper.clear();
    }

    void starts_at_the_same_instant_leave_one_window_that_only_its_user_reaches()
    {
        auto first = start();
        auto second = start();
        QTRY_VERIFY_WITH_TIMEOUT(first->state() == QProcess::NotRunning || second->state() == QProcess::NotRunning,
                                 15000);
        QProcess& loser = first->state() == QProcess::NotRunning ? *first : *second;
        QProcess& winner = &loser == first.get() ? *second : *first;
        QVERIFY(loser.exitStatus() == QProcess::NormalExit && loser.exitCode() == 0);
        QCOMPARE(error_lines(loser), QStringList{handed_over});
        QTRY_COMPARE_WITH_TIMEOUT(log().count("-> Program Running!"), 1, 10000);
        expect_hand_over();
        QVERIFY(winner.state() == QProcess::Running && log().count("-> Program Running!") == 1);

        // The endpoint lies in the user's private folder (not under TMPDIR, where another user
        // could take its name first), open to its user alone.
        const QFileInfoList endpoints = QDir(folder("runtime")).entryInfoList({"larkmoor-demo*"}, QDir::System);
        QCOMPARE(endpoints.size(), 1);
        QCOMPARE(endpoints[0].fileName(), QString("larkmoor-demo-%1").arg(getuid()));
        QCOMPARE(endpoints[0].permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                 QFile::Permissions());

        // A copy that holds the lock but hangs is no answer: a later start fails, and says so, in
        // time also when its limit passes between a check and the wait after it (by the 1 ms
        // past it that Qt would take for no limit).
        ::kill(static_cast<pid_t>(winner.processId()), SIGSTOP);
        for (const char* step : {"0", "10001"}) {
            auto later = start([&](QProcessEnvironment& env) { env.insert("LARKMOOR_TEST_CLOCK_STEP_MS", step); });
            QVERIFY(later->waitForFinished(15000));
            QCOMPARE(later->exitCode(), 1);
            const QStringList said = error_lines(*later);
            QVERIFY2(said.size() == 1 && said[0].contains("does not answer"), qPrintable(said.join('|')));
        }
        ::kill(static_cast<pid_t>(winner.processId()), SIGCONT);
        stop(winner);
    }

    void a_lock_file_no_copy_wrote_is_taken_over_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("junk") << QByteArray("\x7f" "ELF not a lock\n");
    }

    void a_lock_file_no_copy_wrote_is_taken_over()
    {
        QFETCH(QByteArray, content);
        QFile lock(folder("runtime") + QString("/larkmoor-demo-%1.lock").arg(getuid()));
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size());
        lock.close();
        auto demo = start();
        // Sooner than a start that first waits the whole 10 s for an answer that cannot come.
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("-> Program Running!"), 7000);
        expect_hand_over();
        QCOMPARE(demo->state(), QProcess::Running);
        stop(*demo);
    }

    void what_is_no_socket_at_the_endpoint_is_no_hung_copy_data()
    {
        QTest::addColumn<QString>("made");
        QTest::addColumn<int>("entries");  // left in the runtime folder: lock, socket, kept folder
        QTest::newRow("file") << "" << 2;
        QTest::newRow("empty folder") << "/" << 2;
        QTest::newRow("folder with content") << "/kept" << 3;
    }

    void what_is_no_socket_at_the_endpoint_is_no_hung_copy()
    {
        QFETCH(QString, made);
        QFETCH(int, entries);
        const QString path = folder("runtime") + QString("/larkmoor-demo-%1").arg(getuid()) + made;
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) &&
                (path.endsWith('/') || QFile(path).open(QIODevice::WriteOnly)));
        auto demo = start();
        // Logged once it runs, after it listens.
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("no socket"), 10000);
        expect_hand_over();
        QCOMPARE(QDir(folder("runtime")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(),
                 entries);
        stop(*demo);
    }

    void a_display_that_cannot_be_reached_is_said_in_one_sentence_data()
    {
        QTest::addColumn<QStringList>("environment");  // names and values; an empty value unsets
        QTest::addColumn<QString>("said");
        const QString x_dead = "DISPLAY=':9999' names no X display that answers";
        QTest::newRow("neither set")
            << QStringList{"DISPLAY", "", "WAYLAND_DISPLAY", "", "XDG_SESSION_TYPE", ""}
            << "Larkmoor needs a graphical session, but neither DISPLAY nor WAYLAND_DISPLAY is set.";
        QTest::newRow("no X server") << QStringList{"DISPLAY", ":9999", "XDG_SESSION_TYPE", ""}
                                     << "Larkmoor cannot open its window: " + x_dead + ".";
        QTest::newRow("malformed")
            << QStringList{"DISPLAY", "no display", "XDG_SESSION_TYPE", "x11"}
            << "Larkmoor cannot open its window: DISPLAY='no display' names no X display that answers.";
        // Qt's choice: Wayland first in a Wayland session, then X; QT_QPA_PLATFORM over both.
        QTest::newRow("Wayland session") << QStringList{"DISPLAY", ":9999", "WAYLAND_DISPLAY", "wayland-none",
                                                        "XDG_SESSION_TYPE", "wayland"}
                                         << "Larkmoor cannot open its window: WAYLAND_DISPLAY='wayland-none' names no "
                                            "Wayland compositor that answers, and " + x_dead + ".";
        QTest::newRow("silent socket") << QStringList{"DISPLAY", ":9999", "WAYLAND_DISPLAY", "silent",
                                                      "QT_QPA_PLATFORM", "wayland"}
                                       << "Larkmoor cannot open its window: WAYLAND_DISPLAY='silent' names no Wayland "
                                          "compositor that answers.";
    }

    void a_display_that_cannot_be_reached_is_said_in_one_sentence()
    {
        QFETCH(QStringList, environment);
        QFETCH(QString, said);
        // Listens, but never answers.
        QLocalServer silent;
        QVERIFY(silent.listen(folder("runtime") + "/silent"));
        auto demo = start([&](QProcessEnvironment& env) {
            env.remove("QT_QPA_PLATFORM");
            for (int i = 0; i + 1 < environment.size(); i += 2) {
                if (environment[i + 1].isEmpty())
                    env.remove(environment[i]);
                else
                    env.insert(environment[i], environment[i + 1]);
            }
        });
        QVERIFY(demo->waitForFinished(20000));
        QCOMPARE(demo->exitCode(), 1);
        QCOMPARE(error_lines(*demo), QStringList{said});
    }

    void a_log_that_cannot_be_written_is_said_once_and_the_window_still_comes_up_data()
    {
        QTest::addColumn<bool>("read_only");
        QTest::addColumn<QString>("reason");
        // Root writes through any permission bits, but no one makes a folder inside a file.
        QTest::newRow("a file in the way") << false << "Not a directory";
        // The folder cannot be made, and the file then fails with "No such file or directory".
        QTest::newRow("a read-only file system") << true << "Read-only file system";
    }

    void a_log_that_cannot_be_written_is_said_once_and_the_window_still_comes_up()
    {
        QFETCH(bool, read_only);
        QFETCH(QString, reason);
        QString data = folder("tmp") + "/not-a-folder";
        QFile blocker(data);
        if (!read_only) {
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
        } else {
            // Both starts in a user and mount namespace of their own, as the same user, where the
            // data folder is a read-only mount.
            data = folder("read-only");
            wrapper = QStringList{"unshare", "--map-root-user", "--mount", "sh", "-c",
                                  "mount -t tmpfs -o ro tmpfs \"$0\" && exec \"$@\"", data};
            if (QProcess::execute(wrapper.first(), wrapper.mid(1) + QStringList{"true"}) != 0)
                QSKIP("no user and mount namespace to be had here");
        }
        auto demo = start([&](QProcessEnvironment& env) { env.insert("XDG_DATA_HOME", data + "/data"); });
        // Listening first, so the later start does not take the window itself.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder("runtime")).entryList(QDir::System).isEmpty(), 10000);
        expect_hand_over();
        // It listens before it sets up its log, so the sentence may come a moment after the hand-over.
        QStringList said;
        QTRY_VERIFY_WITH_TIMEOUT((said += error_lines(*demo), !said.isEmpty()), 10000);
        QVERIFY2(said.size() == 1 && said[0].contains("/data/Orvandel/Larkmoor/larkmoor.log: " + reason),
                 qPrintable(said.join('|')));
        stop(*demo);
    }

    void a_settings_file_that_makes_no_sense_gives_the_defaults_data()
    {
        QTest::addColumn<QString>("made");  // after the settings file's path; a trailing / makes a folder
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("neither true nor false") << "" << QByteArray("[General]\nkeep_in_tray=maybe\n");
        QTest::newRow("a folder") << "/" << QByteArray();
    }

    void a_settings_file_that_makes_no_sense_gives_the_defaults()
    {
        QFETCH(QString, made);
        QFETCH(QByteArray, content);
        const QString path = folder("config") + "/Orvandel/Larkmoor/larkmoor.conf" + made;
        QFile file(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) &&
                (made == "/" || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size())));
        file.close();
        auto demo = start();
        QTRY_VERIFY_WITH_TIMEOUT(log().contains("-> Program Running!"), 10000);
        expect_hand_over();
        QCOMPARE(log().count("larkmoor.conf"), 1);
        stop(*demo);
    }

    void a_main_window_that_does_not_load_ends_the_program_with_failure()
    {
        // A QML module that cannot load, found before the real one (its exact version first).
        QFile qmldir(folder("qml/QtQuick/Window.2.12") + "/qmldir");
        QVERIFY(qmldir.open(QIODevice::WriteOnly) && qmldir.write("module QtQuick.Window\nplugin missing\n") > 0);
        qmldir.close();
        auto demo = start([&](QProcessEnvironment& env) { env.insert("QML2_IMPORT_PATH", folder("qml")); });
        QVERIFY(demo->waitForFinished(10000));
        QCOMPARE(demo->exitCode(), 1);
        QVERIFY(log().contains("Failed to load the main window from qrc:/main.qml"));
    }
};

QTEST_GUILESS_MAIN(StartUpTest)
#include "test_start_up.moc"
