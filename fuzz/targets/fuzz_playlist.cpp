// A station's playlist as the connection reads it: the response bytes as Latin-1 text.
#include "fuzzsupport.h"
#include "stream/playlist.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (qsizetype(size) > MaxPlaylistBytes)
        return 0; // the connection gives up on a larger response before parsing
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const PlaylistServers parsed = ParsePlaylist(text);
    for (const QString &server : parsed.servers) {
        fuzz::check(server.size() <= MaxAddressLength, "addresses are capped");
        fuzz::check(!server.contains(QLatin1Char('\r')), "a CR never becomes part of an address");
        fuzz::check(!server.contains(QLatin1Char('\n')), "an address ends at its line");
        fuzz::check(server.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                        server.startsWith(QLatin1String("https://"), Qt::CaseInsensitive),
                    "only http and https addresses are taken");
    }
    fuzz::check(parsed.anyAddress || parsed.servers.isEmpty(),
                "no address is taken from a text without one");
    return 0;
}
