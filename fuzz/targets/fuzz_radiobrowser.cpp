// The JSON directory's answers as the directory reads them: a station search and a server
// list, each from the same bytes.
#include "directory/radiobrowser.h"
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (qint64(size) > MaxJsonBytes)
        return 0; // the client abandons a larger answer before parsing
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<RadioBrowserPage> page = ParseRadioBrowserStations(bytes)) {
        fuzz::check(page->stations.size() <= page->entries, "no more stations than entries");
        for (const RadioBrowserStation &station : page->stations) {
            fuzz::check(IsWebAddress(station.urlResolved), "only http(s) addresses are kept");
            fuzz::check(!station.uuid.isEmpty() && !station.uuid.contains(QLatin1Char('/')),
                        "a station id cannot reach another path");
            fuzz::check(!station.name.contains(QLatin1Char('\n')), "a name stays on its line");
            fuzz::check(station.votes >= 0 && station.clicks >= 0 && station.bitrate >= 0,
                        "counts are whole numbers");
        }
    }
    for (const QString &server :
         ParseRadioBrowserServers(bytes, QStringLiteral("https://all.api.radio-browser.info"))) {
        fuzz::check(server.startsWith(QLatin1String("https://")), "the base's scheme is kept");
        fuzz::check(!server.mid(8).contains(QLatin1Char('/')) && !server.contains(QLatin1Char('@')),
                    "a server is a host and port only");
    }
    return 0;
}
