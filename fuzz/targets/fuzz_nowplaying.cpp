// A stream server's status page as the now-playing poll reads it. The input's first line is
// the reply's Content-Type header (empty: none), the rest the page's bytes.
#include "fuzzsupport.h"
#include "recorder/nowplaying.h"
#include "recorder/pagefetcher.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = lineEnd < 0 ? QByteArray() : input.left(lineEnd);
    const QByteArray body = lineEnd < 0 ? input : input.mid(lineEnd + 1);
    if (body.size() > PageFetcher::DefaultMaxBytes)
        return 0; // the fetch refuses a larger page
    // Without a Content-Type the fetch sniffs the bytes and refuses binary ones; with one, the
    // type decides, and any bytes may follow.
    if (contentType.isEmpty() && LooksBinary(body))
        return 0;
    const QString normalised = NormaliseStatusMarkup(DecodeStatusPage(body, contentType));
    const std::optional<QString> song = SongFromStatusPage(normalised);
    fuzz::check(!song || normalised.contains(QLatin1String("Current Song")),
                "a song is only cut behind its label");
    fuzz::check(!song || song->size() <= normalised.size(), "the song is a part of the page");
    return 0;
}
