// kestrune-play: plays one stream address with the program's own engine and prints every
// status text as it changes. For tests, benchmarks and anyone finding out why a station
// will not play.
#include "stream/audio/outputs.h"
#include "stream/engine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

using namespace kestrune;

namespace {

void say(const QString &text) {
    std::fprintf(stdout, "%s\n", qPrintable(text));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[]) {
    // Nothing here needs the GLib main loop, and Qt's own costs fewer system calls per
    // wake-up. Chosen when the application object is made, so it is set before; nothing else
    // runs yet, and a user's own choice stands.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrune-play"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays an MP3 stream the way Kestrune does and prints its status texts.\n"
                       "KESTRUNE_AUDIO=null or wav:PATH plays without a sound device."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("stream address"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Stop after this many seconds of playing."),
                                     QStringLiteral("N"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral(
            "Give up when nothing plays this many seconds after the start (default 20)."),
        QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption audio(
        QStringLiteral("audio"),
        QStringLiteral("Output: device, null or wav:PATH (default: KESTRUNE_AUDIO)."),
        QStringLiteral("OUTPUT"));
    parser.addOptions({seconds, timeout, audio});
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    StreamEngine engine(createAudioOutput(parser.value(audio)));
    say(QStringLiteral("Output: ") + engine.output().description());

    int exitCode = 0;
    bool connectionClosed = false;
    bool everPlayed = false;
    qsizetype shownText = 0;
    const auto finish = [&](int code) {
        exitCode = code;
        engine.stopPlayback();
        say(QStringLiteral("Played: %1 bytes of sound (%2 s)")
                .arg(engine.output().bytesPlayed())
                .arg(double(engine.output().bytesPlayed()) / (PcmSampleRate * PcmBytesPerFrame), 0,
                     'f', 2));
        QTimer::singleShot(0, &app, [&] { QCoreApplication::exit(exitCode); });
    };

    StreamIntake &intake = engine.intake();
    QObject::connect(&engine.status(), &PlayerStatus::textChanged, &app,
                     [](const QString &text) { say(text); });
    QObject::connect(&engine.status(), &PlayerStatus::phaseChanged, &app, [&](PlayerPhase phase) {
        if (phase == PlayerPhase::Playing && !everPlayed) {
            everPlayed = true;
            if (parser.isSet(seconds))
                QTimer::singleShot(int(parser.value(seconds).toDouble() * 1000), &app,
                                   [&] { finish(0); });
        }
        // The server has said all it will: once the ring runs dry there is nothing to resync.
        if (phase == PlayerPhase::Resyncing && connectionClosed)
            finish(0);
    });
    QObject::connect(&intake, &StreamIntake::streamTextChanged, &app, [&](const QString &text) {
        if (text.size() < shownText)
            shownText = 0;
        say(text.mid(shownText).trimmed());
        shownText = text.size();
    });
    QObject::connect(&intake, &StreamIntake::channelsText, &app,
                     [](const QString &text) { say(QStringLiteral("Channels: ") + text); });
    QObject::connect(&intake, &StreamIntake::message, &app, [&](const QString &text) {
        say(text);
        finish(1);
    });
    QObject::connect(&engine.client(), &HTTPStream::Status, &app, [&](const QString &text) {
        say(text);
        if (text == QLatin1String("Response completed")) {
            connectionClosed = true;
            if (!engine.output().IsRunning())
                finish(everPlayed ? 0 : 1);
        }
    });
    QObject::connect(&engine.client(), &HTTPStream::Error, &app,
                     [&](StreamError number, const QString &text) {
                         say(QStringLiteral("Error %1: %2").arg(qToUnderlying(number)).arg(text));
                         finish(1);
                     });
    QObject::connect(&engine.client(), &HTTPStream::messageRequested, &app,
                     [&](const QString &text) {
                         say(text);
                         finish(2);
                     });

    const int giveUpMs = int(parser.value(timeout).toDouble() * 1000);
    if (giveUpMs > 0) {
        QTimer::singleShot(giveUpMs, &app, [&] {
            if (!everPlayed) {
                say(QStringLiteral("Nothing played within %1 s").arg(giveUpMs / 1000.0));
                finish(3);
            }
        });
    }

    engine.play(parser.positionalArguments().constFirst());
    return QCoreApplication::exec();
}
