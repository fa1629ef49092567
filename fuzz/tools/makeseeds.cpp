// Writes the fuzz targets' generated seeds: directory pages, playlists, stream heads and
// status pages as the station simulator serves them, stream heads followed by synthesised
// MP3, and WAV files for scripts/fuzz to encode with lame.
//
//     kestrune-fuzz-seeds OUTDIR
//
// makes OUTDIR/TARGET/NAME for each target and OUTDIR/wav/NAME.wav.
#include "stationsim/catalogue.h"
#include "stationsim/pages.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/wavfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>

using namespace kestrune;
using namespace kestrune::stationsim;

namespace {

constexpr quint16 DirectoryPort = 8000;

bool write(const QString &root, const QString &target, const QString &name,
           const QByteArray &bytes) {
    const QString folder = root + QLatin1Char('/') + target;
    QFile file(folder + QLatin1Char('/') + name);
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return false;
    }
    return true;
}

QByteArray mp3(int rate, int channels, int kbps, bool vbr, double seconds) {
    testsupport::Mp3Params params;
    params.sampleRate = rate;
    params.channels = channels;
    params.bitrateKbps = kbps;
    params.vbr = vbr;
    params.seconds = seconds;
    return testsupport::synthesizeMp3(params);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrune-fuzz-seeds OUTDIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    Catalogue catalogue;

    for (const QString &genre : {QStringLiteral("Jazz"), QStringLiteral("Rock & Roll <live>")}) {
        const QList<Station> &stations = catalogue.stations(genre);
        DirectoryPage page;
        page.genre = genre;
        for (const Station &station : stations)
            page.listing.append(&station);
        page.port = DirectoryPort;
        const QString stem = QString::number(qHash(genre) % 1000);
        for (const int startAt : {0, 25}) {
            page.startAt = startAt;
            ok &= write(root, QStringLiteral("pageparser"),
                        QStringLiteral("page-%1-%2.html").arg(stem).arg(startAt),
                        directoryPage(page));
        }
        page.listing.clear();
        ok &= write(root, QStringLiteral("pageparser"), QStringLiteral("empty-%1.html").arg(stem),
                    directoryPage(page));

        const Station &station = stations.first();
        const QStringList servers{QStringLiteral("http://127.0.0.1:8001/stream/1"),
                                  QStringLiteral("http://127.0.0.1:8002/"),
                                  QStringLiteral("http://127.0.0.1:8003/live")};
        for (const bool crlf : {false, true})
            ok &= write(root, QStringLiteral("playlist"),
                        QStringLiteral("playlist-%1-%2.pls").arg(stem).arg(crlf ? "crlf" : "lf"),
                        playlist(station, servers, crlf));

        const QByteArray header = streamHeader(station, DirectoryPort);
        ok &= write(root, QStringLiteral("header"), QStringLiteral("head-%1").arg(stem), header);
        ok &= write(root, QStringLiteral("header"), QStringLiteral("head-audio-%1").arg(stem),
                    header + mp3(44100, 2, 128, false, 0.1));

        for (const int server : {1, 2}) {
            const QByteArray status = statusPage(station, server, 3, DirectoryPort);
            ok &= write(root, QStringLiteral("nowplaying"),
                        QStringLiteral("status-%1-%2").arg(stem).arg(server),
                        "text/html; charset=utf-8\n" + status);
        }
        ok &=
            write(root, QStringLiteral("nowplaying"), QStringLiteral("status-untyped-%1").arg(stem),
                  "\n" + statusPage(station, 3, 7, DirectoryPort));
    }

    // Heads as a station sends them: its header, then frames of the common formats.
    Station station = catalogue.stations(QStringLiteral("Jazz")).first();
    struct Format {
        int rate, channels, kbps;
        bool vbr;
    };
    for (const Format f :
         {Format{44100, 2, 128, false}, Format{22050, 1, 32, false}, Format{48000, 2, 320, false},
          Format{11025, 1, 16, false}, Format{44100, 2, 128, true}}) {
        const QString name = QStringLiteral("%1-%2-%3%4")
                                 .arg(f.rate)
                                 .arg(f.channels)
                                 .arg(f.kbps)
                                 .arg(f.vbr ? "-vbr" : "");
        const QByteArray head = streamHeader(station, DirectoryPort);
        ok &= write(root, QStringLiteral("framesync"), name,
                    head + mp3(f.rate, f.channels, f.kbps, f.vbr, 0.5));
        // Just past what the intake buffers before it starts playing (64 KiB), so the output
        // starts, drains the ring and runs it dry.
        const double seconds = 72.0 * 1024 * 8 / (f.kbps * 1000.0);
        ok &= write(root, QStringLiteral("intake"), name,
                    head + mp3(f.rate, f.channels, f.kbps, f.vbr, seconds));
        ok &= write(root, QStringLiteral("mp3"), name + QStringLiteral(".mp3"),
                    mp3(f.rate, f.channels, f.kbps, f.vbr, 0.5));
    }

    for (const auto &[rate, channels] :
         {std::pair{44100, 2}, std::pair{22050, 1}, std::pair{8000, 1}})
        ok &= write(root, QStringLiteral("wav"),
                    QStringLiteral("tone-%1-%2.wav").arg(rate).arg(channels),
                    testsupport::ToneWav(rate, channels, rate / 2));
    return ok ? 0 : 1;
}
