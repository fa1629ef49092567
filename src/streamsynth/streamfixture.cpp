// kestrune-streamfixture: serves one synthesised MP3 stream on 127.0.0.1 at real-time pace,
// for benchmarks and manual checks. Prints the stream's address once it listens.
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace kestrune::testsupport;

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a synthesised MP3 stream."));
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of the stream (default 60)."),
                                     QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption bitrate(QStringLiteral("bitrate"),
                                     QStringLiteral("kbit/s (default 128)."), QStringLiteral("K"),
                                     QStringLiteral("128"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("First port to try (default: any free)."),
                                  QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption loop(QStringLiteral("loop"),
                                  QStringLiteral("Repeat the audio for ever instead of closing."));
    parser.addOptions({seconds, bitrate, port, loop});
    parser.process(app);

    Mp3Params params;
    params.seconds = parser.value(seconds).toDouble();
    params.bitrateKbps = parser.value(bitrate).toInt();
    StreamServerOptions options;
    options.responseHeader = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n"
                             "icy-name:Fixture\r\nicy-genre:Test\r\n\r\n";
    options.audio = synthesizeMp3(params);
    options.bitrateKbps = params.bitrateKbps;
    options.loop = parser.isSet(loop);
    if (options.audio.isEmpty()) {
        std::fprintf(stderr, "could not synthesise the audio\n");
        return 1;
    }
    PacedStreamServer server(options);
    if (!server.listen(quint16(parser.value(port).toUInt()))) {
        std::fprintf(stderr, "no free port\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(server.url(QStringLiteral("/"))));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
