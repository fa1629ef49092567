#include "directory/stationlist.h"

namespace kestrune {

void StationList::setPaths(const QStringList &paths) {
    m_paths = paths;
    m_selected = -1;
}

void StationList::clear() {
    setPaths({});
}

bool StationList::select(int row) {
    if (row < 0 || row >= m_paths.size())
        return false;
    m_selected = row;
    m_selectedPath = m_paths.at(row);
    return true;
}

namespace {

std::optional<QString> field(const QString &header, QLatin1String name) {
    const qsizetype at = header.indexOf(name);
    if (at < 0)
        return std::nullopt;
    const qsizetype start = at + name.size();
    qsizetype end = header.indexOf(QLatin1Char('\n'), start);
    if (end < 0)
        return std::nullopt;
    if (end > start && header.at(end - 1) == QLatin1Char('\r'))
        --end;
    return header.mid(start, end - start);
}

} // namespace

AnnouncedStation GetStationInfo(const QString &header) {
    return {field(header, QLatin1String("icy-name:")), field(header, QLatin1String("icy-genre:")),
            field(header, QLatin1String("icy-url:"))};
}

} // namespace kestrune
