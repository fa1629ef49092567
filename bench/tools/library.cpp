// The library's list of a folder of recordings, timed: reading the folder (listing and the
// analysis of every file), the totals and every cell text, as the window needs them. Each
// stage is timed on its own over several runs; the minimum and the median are printed with
// the peak memory. bench/library makes the recordings and runs it.
//
//   kestrune-bench-library make FOLDER N    makes N recordings in FOLDER (lame, a few seeds)
//   kestrune-bench-library FOLDER [RUNS]    times the list of FOLDER (default 7 runs)
#include "library/libraryfolder.h"
#include "streamsynth/wavfile.h"

#include "cputime.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kestrune;

namespace {

// ---------------------------------------------------------------------------------------
// Making the recordings.

bool writeWav(const QString &path, int rate, int channels, int seconds, quint32 seed) {
    const QByteArray wav = testsupport::ToneWav(rate, channels, qint64(rate) * seconds, seed);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

struct Seed {
    int rate;
    int channels;
    int seconds;
    const char *quality; // lame's bitrate or VBR switches
};

// What a radio recorder collects: mostly CBR stereo at common rates, some VBR, some mono.
const Seed Seeds[] = {
    {44100, 2, 4, "-b 128"}, {44100, 2, 3, "-b 96"}, {44100, 2, 5, "-V 2"},
    {48000, 2, 3, "-b 192"}, {22050, 1, 4, "-b 32"}, {32000, 2, 3, "-V 5"},
    {44100, 1, 3, "-b 64"},  {44100, 2, 4, "-V 4"},
};

int makeRecordings(const QString &folder, int count) {
    const QString lame = QStandardPaths::findExecutable(QStringLiteral("lame"));
    if (lame.isEmpty()) {
        std::fprintf(stderr, "lame is needed to make the recordings\n");
        return 1;
    }
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral(".seeds"))) {
        std::fprintf(stderr, "cannot make %s\n", qPrintable(folder));
        return 1;
    }
    QStringList seeds;
    int index = 0;
    for (const Seed &seed : Seeds) {
        const QString wav = dir.filePath(QStringLiteral(".seeds/%1.wav").arg(index));
        const QString mp3 = dir.filePath(QStringLiteral(".seeds/%1.mp3").arg(index));
        if (!writeWav(wav, seed.rate, seed.channels, seed.seconds, quint32(index + 1))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(wav));
            return 1;
        }
        QStringList args{QStringLiteral("--quiet"), QStringLiteral("--id3v1-only"),
                         QStringLiteral("--tt"),    QStringLiteral("Song %1").arg(index),
                         QStringLiteral("--ta"),    QStringLiteral("Station"),
                         QStringLiteral("--tl"),    QStringLiteral("Unknown")};
        args += QString::fromLatin1(seed.quality).split(u' ');
        args << wav << mp3;
        if (QProcess::execute(lame, args) != 0) {
            std::fprintf(stderr, "lame failed on %s\n", qPrintable(wav));
            return 1;
        }
        QFile::remove(wav);
        seeds << mp3;
        ++index;
    }
    for (int i = 0; i < count; ++i) {
        const QString name = dir.filePath(QStringLiteral("Artist %1 - Song %2.mp3")
                                              .arg(i % 97, 2, 10, QLatin1Char('0'))
                                              .arg(i, 5, 10, QLatin1Char('0')));
        if (!QFile::exists(name) && !QFile::copy(seeds[i % seeds.size()], name)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    std::printf("made %d recordings in %s\n", count, qPrintable(folder));
    return 0;
}

// ---------------------------------------------------------------------------------------
// Timing.

double peakMemoryMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // KiB on Linux
}

// A step of showing a folder; later stages (the window's list) add themselves here.
struct Stage {
    const char *name;
    std::function<void()> run;
    std::vector<double> ms;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

int timeList(const QString &folder, int runs) {
    const QLocale locale;
    QList<LibraryEntry> entries;
    LibraryTotals totals;
    qint64 textChars = 0; // keeps the texts from being optimised away, and is printed
    std::vector<Stage> stages;
    stages.push_back({"read folder", [&] { entries = ReadFolder(folder); }, {}});
    stages.push_back({"totals and cell texts",
                      [&] {
                          totals = TotalsOf(entries);
                          textChars = 0;
                          for (const LibraryEntry &e : entries) {
                              textChars += e.name.size() + LengthText(e.facts.lengthMs).size() +
                                           FileSizeText(e.size, locale).size() +
                                           BitrateText(e.facts.bitrateKbps, locale).size() +
                                           SampleRateText(e.facts.sampleRate, locale).size() +
                                           RecordDateText(e.modified, locale).size();
                          }
                          textChars += TotalsSizeText(totals, locale).size() +
                                       LengthText(totals.lengthMs).size();
                      },
                      {}});

    std::vector<double> whole;
    const double cpuBefore = bench::cpuSeconds();
    for (int r = 0; r < runs; ++r) {
        double sum = 0;
        for (Stage &stage : stages) {
            QElapsedTimer timer;
            timer.start();
            stage.run();
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            stage.ms.push_back(ms);
            sum += ms;
        }
        whole.push_back(sum);
    }
    const double cpu = bench::cpuSeconds() - cpuBefore;
    if (entries.isEmpty()) {
        std::fprintf(stderr, "no recordings in %s\n", qPrintable(folder));
        return 1;
    }
    int valid = 0;
    for (const LibraryEntry &e : entries)
        valid += e.facts.valid ? 1 : 0;
    std::printf("%lld files (%d MPEG), %s, total %s; %lld characters of cell text\n",
                qint64(entries.size()), valid, qPrintable(TotalsSizeText(totals, locale)),
                qPrintable(LengthText(totals.lengthMs)), textChars);
    std::printf("%-24s %10s %10s %14s\n", "stage", "min ms", "median ms", "median us/file");
    const double files = double(entries.size());
    for (const Stage &stage : stages) {
        const double min = *std::min_element(stage.ms.begin(), stage.ms.end());
        std::printf("%-24s %10.1f %10.1f %14.1f\n", stage.name, min, median(stage.ms),
                    median(stage.ms) * 1000.0 / files);
    }
    std::printf("%-24s %10.1f %10.1f %14.1f\n", "folder shown",
                *std::min_element(whole.begin(), whole.end()), median(whole),
                median(whole) * 1000.0 / files);
    std::printf("runs %d, cpu %.2f s, peak memory %.1f MiB\n", runs, cpu, peakMemoryMiB());
    return 0;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 4 && args[1] == QLatin1String("make"))
        return makeRecordings(args[2], args[3].toInt());
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: %s make FOLDER N | FOLDER [RUNS]\n", argv[0]);
        return 2;
    }
    return timeList(args[1], std::max(1, args.value(2, QStringLiteral("7")).toInt()));
}
