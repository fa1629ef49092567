// An Icecast server's mount listing and a stream's head as the now-playing poll reads them.
// The input's first line is the mount's path, the rest the listing's bytes (and, read as
// Latin-1, a stream head).
#include "fuzzsupport.h"
#include "recorder/icecaststatus.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QString mount = QString::fromUtf8(lineEnd < 0 ? QByteArray() : input.left(lineEnd));
    const QByteArray body = lineEnd < 0 ? input : input.mid(lineEnd + 1);
    const std::optional<QString> song = IcecastSongFromStatus(body, mount);
    fuzz::check(!song || song->size() <= body.size(), "the song is a part of the listing");
    IsIcecastResponse(QString::fromLatin1(body));
    const QUrl status = IcecastStatusUrl(mount);
    fuzz::check(status.isEmpty() || status.scheme() == QLatin1String("http") ||
                    status.scheme() == QLatin1String("https"),
                "only http(s) listings are fetched");
    return 0;
}
