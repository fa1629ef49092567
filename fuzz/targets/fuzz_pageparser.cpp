// The directory's result page: downloaded bytes joined into one line, then read for its
// stations and paging links, as the directory panel does with every page it gets.
#include "directory/choices.h"
#include "directory/directoryquery.h"
#include "directory/pageparser.h"
#include "fuzzsupport.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString page = JoinPageLines(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QString host = QStringLiteral("http://127.0.0.1:8000");
    // Once as a first search (no paging addresses yet, no limit), once as a later page with a
    // modem's limit and the addresses an earlier page left.
    const ParsedPage first = ReadList(page, NoBitrateLimit, host);
    const ParsedPage later =
        ReadList(page, 56, host, host + QStringLiteral("/directory?s=jazz&startat=25"),
                 host + QStringLiteral("/directory?s=jazz&startat=0"));
    fuzz::check(later.rows.size() <= first.rows.size(), "a bitrate limit never adds rows");
    for (const StationRow &row : first.rows)
        fuzz::check(row.cells().size() == 4, "every row has its four cells");
    return 0;
}
