// A PulseAudio daemon of our own for the tests of the sound-device output: the sink's buffers
// are real, and nothing reaches the user's sound server.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace kestrune::test {

// A PulseAudio daemon of our own: its socket, cookie and runtime files live in a temporary
// folder, it loads only a null sink and the local protocol, and it never goes idle.
class PrivateSoundServer {
public:
    ~PrivateSoundServer() { stop(); }

    // Empty when it runs; otherwise why it could not be started.
    QString start() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty())
            return QStringLiteral("pulseaudio is not installed");
        if (!m_dir.isValid() || !QDir(m_dir.path()).mkpath(QStringLiteral("run")))
            return QStringLiteral("no temporary folder");
        m_socketPath = m_dir.filePath(QStringLiteral("native"));
        // Clients must never start a daemon of their own (the user's, or one per test).
        const QString clientConfig = m_dir.filePath(QStringLiteral("client.conf"));
        QFile conf(clientConfig);
        if (!conf.open(QIODevice::WriteOnly) || conf.write("autospawn = no\n") <= 0)
            return QStringLiteral("cannot write %1").arg(clientConfig);
        conf.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.remove(QStringLiteral("PULSE_SERVER"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
#ifdef Q_OS_LINUX
        // It never exits by itself; if this test dies (a sanitizer report aborts it), the
        // daemon goes with it instead of lingering.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
        // -n: no default script; as root it also needs --system=false spelt out, and no pid
        // file (it would go to the shared runtime folder).
        m_process.start(program,
                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                         QStringLiteral("--system=false"), QStringLiteral("--use-pid-file=false"),
                         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                         QStringLiteral("--disallow-module-loading"),
                         QStringLiteral("--log-target=stderr"), QStringLiteral("-L"),
                         QStringLiteral("module-null-sink"), QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix socket=%1 "
                                        "auth-anonymous=1")
                             .arg(m_socketPath)});
        if (!m_process.waitForStarted(5000))
            return QStringLiteral("pulseaudio did not start: ") + m_process.errorString();

        // Ready once its socket accepts a connection; give up after ten seconds.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000) {
            if (m_process.state() != QProcess::Running)
                return QStringLiteral("pulseaudio exited: ") +
                       QString::fromLocal8Bit(m_process.readAll()).trimmed();
            QLocalSocket probe;
            probe.connectToServer(m_socketPath);
            if (probe.waitForConnected(200))
                break;
            QTest::qWait(50);
        }
        if (clock.elapsed() >= 10000)
            return QStringLiteral("pulseaudio's socket never answered");
        qputenv("PULSE_SERVER", ("unix:" + m_socketPath).toLocal8Bit());
        qputenv("PULSE_CLIENTCONFIG", clientConfig.toLocal8Bit());
        return QString();
    }

    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    QString log() {
        return QString::fromLocal8Bit(m_process.readAll());
    }

private:
    QTemporaryDir m_dir;
    QString m_socketPath;
    QProcess m_process;
};

} // namespace kestrune::test
