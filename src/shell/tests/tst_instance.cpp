// One running copy per user, checked with real processes of the program.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class InstanceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        env.insert("HOME", m_home.path());
        return env;
    }

    QString lockFile() const { return m_home.filePath("runtime/kestrune.lock"); }

    void start(QProcess &process) {
        process.setProcessEnvironment(environment());
        process.setProgram(QStringLiteral(KESTRUNE_EXECUTABLE));
        process.start();
        QVERIFY(process.waitForStarted(10000));
    }

    static bool waitFor(const std::function<bool()> &condition, int timeoutMs) {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > timeoutMs)
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    static QByteArray lockOwner(const QString &file) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readLine().trimmed();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QDir().mkpath(m_home.filePath("runtime")));
        QFile::setPermissions(m_home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A connection speed is stored, so a started copy goes straight to its main window.
        QVERIFY(QDir().mkpath(m_home.filePath("config/Kestrune")));
        QFile conf(m_home.filePath("config/Kestrune/Kestrune.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[General]\nFirstSetup=DSL/Cable/LAN\n");
    }

    void secondCopyIsRefusedAndTheFirstRunsOn() {
        QProcess first;
        start(first);
        QVERIFY(waitFor(
            [&] { return lockOwner(lockFile()) == QByteArray::number(first.processId()); }, 20000));

        QProcess second;
        start(second);
        QVERIFY(waitFor(
            [&] {
                return second.readAllStandardError().contains("Kestrune already started!") ||
                       second.state() == QProcess::NotRunning;
            },
            20000));
        // The second copy waits on its message box; it holds nothing and is simply ended.
        QVERIFY(second.state() == QProcess::Running);
        second.kill();
        second.waitForFinished(5000);

        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(lockOwner(lockFile()), QByteArray::number(first.processId()));

        // A crash leaves the lock file behind; it must not block the next start.
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QVERIFY(QFile::exists(lockFile()));

        QProcess third;
        start(third);
        QVERIFY(waitFor(
            [&] { return lockOwner(lockFile()) == QByteArray::number(third.processId()); }, 20000));
        QVERIFY(!third.readAllStandardError().contains("already started"));
        QCOMPARE(third.state(), QProcess::Running);
        third.terminate();
        if (!third.waitForFinished(5000))
            third.kill();
    }
};

QTEST_GUILESS_MAIN(InstanceTest)
#include "tst_instance.moc"
