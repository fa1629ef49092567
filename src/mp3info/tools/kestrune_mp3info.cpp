// kestrune-mp3info FILE...
//
// One line per MP3 file, tab-separated: the file name as given, the analyser's eleven texts
// (bitrate, channel mode, copyright, CRC, emphasis, frequency, layer, length, version,
// original, file size), then the ID3v1 title, artist, album, year, comment and genre number
// (empty when the file has no tag). A file that is not MPEG audio is named on stderr with the
// analyser's message and makes the exit status 1; the other files are still printed.
#include "mp3info/mpeginfo.h"
#include "mp3info/tagfile.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

using namespace kestrune;

namespace {

// Tag text is free text: a tab or line break in it must not split the line.
QString oneField(QString text) {
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        err << "usage: kestrune-mp3info FILE...\n";
        return 2;
    }
    int status = 0;
    for (const QString &file : files) {
        MpegInfo info;
        if (!ReadMpegInfo(file, info)) {
            err << file << ": " << NotMpegText << '\n';
            status = 1;
            continue;
        }
        QStringList fields{file,        info.Bitrate,  info.ChannelMode, info.Copyright,
                           info.Crc,    info.Emphasis, info.Frequency,   info.Layer,
                           info.Length, info.Version,  info.Original,    info.FileSize};
        const TagLookup lookup = ReadTagFile(file);
        if (lookup.tag) {
            fields << oneField(lookup.tag->title) << oneField(lookup.tag->artist)
                   << oneField(lookup.tag->album) << oneField(lookup.tag->year)
                   << oneField(lookup.tag->comment) << QString::number(lookup.tag->genre);
        } else {
            fields << QString() << QString() << QString() << QString() << QString() << QString();
        }
        out << fields.join(QLatin1Char('\t')) << '\n';
        out.flush();
    }
    return status;
}
