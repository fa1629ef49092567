#include "library/libraryfolder.h"

#include "library/mpegfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <mpg123.h>

#include <algorithm>

namespace kestrune {

namespace {

constexpr qint64 KilobyteLimit = 100000; // bytes: below this a size is shown in kB
constexpr double BytesPerKilobyte = 1000.0;
constexpr double BytesPerMegabyte = 1048576.0;

ChannelMode channelModeOf(int mode) {
    switch (mode) {
    case MPG123_M_STEREO:
        return ChannelMode::Stereo;
    case MPG123_M_JOINT:
        return ChannelMode::JointStereo;
    case MPG123_M_DUAL:
        return ChannelMode::DualChannel;
    case MPG123_M_MONO:
        return ChannelMode::Mono;
    default:
        return ChannelMode::Unknown;
    }
}

// `knownSize` (bytes, -1 when unknown) spares a second look at the file's size when the
// folder listing has it already.
AudioFacts analyse(const QString &path, qint64 knownSize) {
    // One decoder handle per thread: the list is read on a worker thread while the player's
    // own handle lives on the window's, and setting up a handle costs more than a file.
    thread_local MpegFile file(MpegFile::Use::Analysis);
    AudioFacts facts;
    if (!file.open(path, knownSize))
        return facts;
    mpg123_handle *h = file.handle();

    long rate = 0;
    int channels = 0;
    int encoding = 0;
    mpg123_frameinfo2 info{};
    // The first call finds the first frame (past an ID3v2 tag and a Xing/Info frame); the
    // rest only read what it found.
    if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        mpg123_info2(h, &info) != MPG123_OK || info.rate <= 0) {
        file.close();
        return facts;
    }
    facts.valid = true;
    facts.sampleRate = int(info.rate);
    facts.channels = info.mode == MPG123_M_MONO ? 1 : 2;
    facts.layer = info.layer;
    facts.mode = channelModeOf(info.mode);

    // Samples at the output rate, which is the file's own here (no rate is forced).
    const off_t samples = mpg123_length(h);
    if (samples > 0)
        facts.lengthMs = (qint64(samples) * 1000 + rate / 2) / rate;

    if (info.vbr == MPG123_CBR && info.bitrate > 0) {
        facts.bitrateKbps = info.bitrate;
    } else if (facts.lengthMs > 0) {
        // A VBR (or free-format) file's first frame says little: its average over the audio
        // bytes, the tags left out, is what the list shows. bits per ms = kbit/s.
        const qint64 audioStart = std::max<qint64>(0, qint64(mpg123_framepos(h)));
        const qint64 audioBytes = file.fileSize() - file.id3v1Bytes() - audioStart;
        if (audioBytes > 0)
            facts.bitrateKbps = int((audioBytes * 8 + facts.lengthMs / 2) / facts.lengthMs);
    }
    file.close();
    return facts;
}

// Regular files (or links to them) that are not hidden; sockets, pipes and devices are
// never opened, a pipe would block the reader.
bool isListable(const QFileInfo &info) {
    return info.isFile() && !info.isHidden();
}

constexpr QDir::Filters FileFilter = QDir::Files | QDir::NoDotAndDotDot;

bool holdsListedFile(const QString &folder) {
    QDirIterator it(folder, FileFilter);
    while (it.hasNext()) {
        it.next();
        if (isListable(it.fileInfo()))
            return true;
    }
    return false;
}

void appendTwoDigits(QString &out, qint64 value) {
    out += QChar(u'0' + char16_t(value / 10 % 10));
    out += QChar(u'0' + char16_t(value % 10));
}

// A copy of `locale` that writes numbers without grouping: "1234.56", never "1,234.56".
QLocale plainNumbers(const QLocale &locale) {
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain;
}

} // namespace

AudioFacts AnalyseAudioFile(const QString &path) {
    return analyse(path, -1);
}

QStringList GroupFolders(const QString &outputDir) {
    // An empty setting would make QDir look at the working folder, or a "/" appended to it
    // at the root of the file system: neither holds the recordings.
    if (outputDir.isEmpty())
        return {};
    QDir dir(outputDir);
    if (!dir.exists())
        return {};
    QStringList names;
    const QStringList candidates =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : candidates) {
        if (holdsListedFile(dir.filePath(name)))
            names.append(name);
    }
    return names;
}

QList<LibraryEntry> ReadFolder(const QString &folder,
                               const std::function<bool(int done, int total)> &progress) {
    QList<LibraryEntry> entries;
    if (folder.isEmpty())
        return entries;
    const QFileInfoList infos =
        QDir(folder).entryInfoList(FileFilter, QDir::Name | QDir::IgnoreCase);
    const int total = int(infos.size());
    entries.reserve(total);
    int done = 0;
    for (const QFileInfo &info : infos) {
        // One stat per file: size and date come from the same look as the type.
        if (isListable(info) && info.size() >= 1) {
            LibraryEntry entry;
            entry.name = info.fileName();
            entry.path = info.filePath();
            entry.size = info.size();
            entry.modified = info.lastModified();
            entry.facts = analyse(entry.path, entry.size);
            entries.append(std::move(entry));
        }
        ++done;
        if (progress && !progress(done, total))
            break;
    }
    return entries;
}

LibraryTotals TotalsOf(const QList<LibraryEntry> &entries) {
    LibraryTotals totals;
    totals.files = int(entries.size());
    for (const LibraryEntry &entry : entries) {
        totals.size += entry.size;
        totals.lengthMs += entry.facts.lengthMs;
    }
    return totals;
}

QString FileSizeText(qint64 bytes, const QLocale &locale) {
    const QLocale plain = plainNumbers(locale);
    if (bytes < KilobyteLimit)
        return plain.toString(double(bytes) / BytesPerKilobyte, 'f', 2) + QLatin1String(" kB");
    return plain.toString(double(bytes) / BytesPerMegabyte, 'f', 2) + QLatin1String(" MB");
}

QString BitrateText(int kbps, const QLocale &locale) {
    if (kbps < 1)
        return QStringLiteral("---");
    QString digits = plainNumbers(locale).toString(kbps);
    if (kbps < 10)
        digits.prepend(locale.zeroDigit());
    return digits + QLatin1String(" Kbps");
}

QString SampleRateText(int hz, const QLocale &locale) {
    return plainNumbers(locale).toString(double(hz) / 1000.0, 'f', 3) + QLatin1String(" Hz");
}

QString LengthText(qint64 ms) {
    // The time text's head, always as h:mm:ss; ten hours and more take more hour digits.
    const qint64 seconds = std::max<qint64>(0, ms) / 1000;
    QString text = QString::number(seconds / 3600);
    text.reserve(text.size() + 6);
    text += u':';
    appendTwoDigits(text, seconds / 60 % 60);
    text += u':';
    appendTwoDigits(text, seconds % 60);
    return text;
}

QString TimeText(qint64 ms) {
    ms = std::max<qint64>(0, ms);
    const qint64 hours = ms / 3600000;
    const qint64 minutes = ms / 60000 % 60;
    const qint64 seconds = ms / 1000 % 60;
    const qint64 millis = ms % 1000;
    QString text;
    text.reserve(16);
    if (hours > 0) {
        text += QString::number(hours);
        text += u':';
        appendTwoDigits(text, minutes);
    } else if (minutes >= 10) {
        appendTwoDigits(text, minutes);
    } else {
        text += QChar(u'0' + char16_t(minutes));
    }
    text += u':';
    appendTwoDigits(text, seconds);
    text += u'.';
    text += QChar(u'0' + char16_t(millis / 100));
    appendTwoDigits(text, millis % 100);
    return text;
}

QString TotalsSizeText(const LibraryTotals &totals, const QLocale &locale) {
    return QLatin1Char(' ') + QString::number(totals.files) + QLatin1String(" files, (") +
           FileSizeText(totals.size, locale) + QLatin1Char(')');
}

QString RecordDateText(const QDateTime &modified, const QLocale &locale) {
    if (!modified.isValid())
        return {};
    // The short date with the time to the second, as a general date reads; the long time
    // format's zone name is left out.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    QString withoutZone;
    bool quoted = false;
    for (const QChar c : timeFormat) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
            withoutZone += c;
    }
    const QDateTime local = modified.toLocalTime();
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), withoutZone.trimmed());
}

QString ChannelModeText(ChannelMode mode) {
    switch (mode) {
    case ChannelMode::Stereo:
        return QStringLiteral("STEREO");
    case ChannelMode::JointStereo:
        return QStringLiteral("JOINT");
    case ChannelMode::DualChannel:
        return QStringLiteral("DUAL");
    case ChannelMode::Mono:
        return QStringLiteral("MONO");
    case ChannelMode::Unknown:
        break;
    }
    return {};
}

QString RenameProblem(const QString &newName) {
    if (newName == QLatin1String(".") || newName == QLatin1String(".."))
        return QStringLiteral("\"%1\" names a folder, not a file.").arg(newName);
    if (newName.contains(u'/') || newName.contains(u'\\'))
        return QStringLiteral("A file name cannot contain \"/\" or \"\\\".");
    if (newName.contains(QChar(u'\0')))
        return QStringLiteral("A file name cannot contain a zero character.");
    return {};
}

} // namespace kestrune
