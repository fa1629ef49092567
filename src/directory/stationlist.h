// The stations of the current directory page as the player sees them: each grid row's
// playlist path, the selected one, and what a stream's response header says about its station.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kestrune {

class StationList {
public:
    // A new page: its playlist paths, row for row. Nothing is selected afterwards, but the
    // last selected path stays the one Play requests until another row is selected.
    void setPaths(const QStringList &paths);
    void clear();

    // Selects row `row`; false (nothing changes) for a row that does not exist.
    bool select(int row);
    int selectedIndex() const { return m_selected; }
    bool hasSelection() const { return m_selected >= 0; }
    const QStringList &paths() const { return m_paths; }
    const QString &SelectedPlaylistPath() const { return m_selectedPath; }

private:
    QStringList m_paths;
    int m_selected = -1;
    QString m_selectedPath;
};

// What the stream server announces about its station.
struct AnnouncedStation {
    std::optional<QString> name;  // "icy-name:"
    std::optional<QString> genre; // "icy-genre:"
    std::optional<QString> url;   // "icy-url:"
};

// Reads the three fields wherever they stand in the header block (servers differ in their
// order); each value runs from just after the colon (a blank there is kept) to its line break.
// A field that is missing, or whose line never ends, is not reported.
AnnouncedStation GetStationInfo(const QString &header);

} // namespace kestrune
