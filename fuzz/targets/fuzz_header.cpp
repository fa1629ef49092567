// A stream server's response head: where the header block ends (the intake), the station
// fields the window shows from it, and the authentication challenge the client looks for.
#include "directory/stationlist.h"
#include "fuzzsupport.h"
#include "stream/httpstream.h"
#include "stream/intake.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The head the intake gathers is at most this long, so longer inputs add nothing.
    const qint32 length = qint32(qMin<size_t>(size, StreamIntake::HeadCapacity));
    // An exact copy, so reading past the end is caught.
    std::unique_ptr<char[]> head(new char[size_t(length) + (length == 0)]);
    std::memcpy(head.get(), data, size_t(length));
    const qint32 headerLength = StreamIntake::FindHeaderEnd(head.get(), length);
    fuzz::check(headerLength >= 1 && headerLength <= qMax(length, 1),
                "the header length lies within the head");

    // The text box shows the header block up to a zero byte; the station fields come from it.
    const qsizetype shown = qstrnlen(head.get(), size_t(qMin(headerLength, length)));
    const AnnouncedStation station = GetStationInfo(QString::fromLatin1(head.get(), shown));
    for (const std::optional<QString> &field : {station.name, station.genre, station.url})
        fuzz::check(!field || !field->contains(QLatin1Char('\n')), "a field ends at its line");

    const QByteArray response(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto challenge = AuthenticationChallenge(response))
        fuzz::check(challenge->first == StreamError::Unauthorized ||
                        challenge->first == StreamError::ProxyAuthenticationRequired,
                    "a challenge is one of the two authentication errors");
    return 0;
}
