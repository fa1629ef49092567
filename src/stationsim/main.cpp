// kestrune-stationsim: a station directory and its stream servers on 127.0.0.1, for using
// and testing the player without the internet. Prints where it listens, then serves until
// it gets SIGINT or SIGTERM. Its secure ports present a certificate of the test authority:
// only tests and benchmarks trust it, never the program.
#include "stationsim/simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace kestrune::stationsim;

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop picks the byte up and quits.
void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool parsePort(const QString &text, int *port) {
    bool ok = false;
    *port = text.toInt(&ok);
    return ok && *port >= 0 && *port <= 32767;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-stationsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Imitates a station directory and its stream servers on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Directory port (default 8000; 0: any free)."),
                                  QStringLiteral("N"), QStringLiteral("8000"));
    const QCommandLineOption streamPort(
        QStringLiteral("stream-port"),
        QStringLiteral("First of the three stream server ports (default 8001; 0: any free). "
                       "The secure stream server takes N+3 (any free with 0)."),
        QStringLiteral("N"), QStringLiteral("8001"));
    const QCommandLineOption securePort(
        QStringLiteral("secure-port"),
        QStringLiteral("Port of the secure directory, https with a certificate of the test "
                       "authority (default 0: any free)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption fault(
        QStringLiteral("fault"),
        QStringLiteral("Misbehave: dead-first, stall, garbage, drip or close; with @ID for one "
                       "station only. Repeatable."),
        QStringLiteral("KIND[@ID]"));
    const QCommandLineOption noLength(
        QStringLiteral("no-content-length"),
        QStringLiteral("Send directory pages without Content-Length."));
    const QCommandLineOption crlfAll(QStringLiteral("crlf-all"),
                                     QStringLiteral("Write every playlist with CRLF line ends."));
    const QCommandLineOption songSeconds(
        QStringLiteral("song-seconds"),
        QStringLiteral("How long each song plays, in seconds (default 30)."), QStringLiteral("N"),
        QStringLiteral("30"));
    const QCommandLineOption faultEvery(
        QStringLiteral("fault-every"),
        QStringLiteral("Every N seconds, make the streams playing at that moment fail: close, "
                       "stall and garbage in turn (default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption logStreams(
        QStringLiteral("log-streams"),
        QStringLiteral("Print a line for every stream that ends (\"sent PATH BYTES\", the audio "
                       "bytes after the header) and every injected fault (\"fault KIND "
                       "CONNECTIONS\")."));
    parser.addOptions({port, streamPort, securePort, fault, noLength, crlfAll, songSeconds,
                       faultEvery, logStreams});
    parser.process(app);

    SimulatorOptions options;
    if (!parsePort(parser.value(port), &options.directoryPort) ||
        !parsePort(parser.value(streamPort), &options.streamPort) ||
        !parsePort(parser.value(securePort), &options.securePort)) {
        std::fprintf(stderr, "ports must be numbers from 0 to 32767\n");
        return 2;
    }
    bool songSecondsOk = false;
    options.songSeconds = parser.value(songSeconds).toInt(&songSecondsOk);
    if (!songSecondsOk || options.songSeconds < 1 || options.songSeconds > 86400) {
        std::fprintf(stderr, "song seconds must be a number from 1 to 86400\n");
        return 2;
    }
    bool faultEveryOk = false;
    options.faultEverySeconds = parser.value(faultEvery).toInt(&faultEveryOk);
    if (!faultEveryOk || options.faultEverySeconds < 0 || options.faultEverySeconds > 86400) {
        std::fprintf(stderr, "fault seconds must be a number from 0 to 86400\n");
        return 2;
    }
    for (const QString &text : parser.values(fault)) {
        const std::optional<FaultRule> rule = parseFault(text);
        if (!rule) {
            std::fprintf(stderr, "unknown fault: %s\n", qPrintable(text));
            return 2;
        }
        options.faults << *rule;
    }
    options.contentLength = !parser.isSet(noLength);
    options.crlfAll = parser.isSet(crlfAll);
    options.prepareAudio = true;

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("socketpair");
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    StationSimulator simulator(options);
    QString error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (parser.isSet(logStreams)) {
        QObject::connect(&simulator, &StationSimulator::streamEnded, &app,
                         [](const QString &path, qint64 bytes) {
                             std::printf("sent %s %lld\n", qPrintable(path),
                                         static_cast<long long>(bytes));
                             std::fflush(stdout);
                         });
        QObject::connect(&simulator, &StationSimulator::faultInjected, &app,
                         [](Fault kind, int connections) {
                             std::printf("fault %s %d\n", qPrintable(faultName(kind)), connections);
                             std::fflush(stdout);
                         });
    }
    const QByteArray lines = simulator.startupText();
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
    std::fflush(stdout);
    return QCoreApplication::exec();
}
