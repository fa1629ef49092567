// Where the station directory lives and the state of the current directory query.
#pragma once

#include <QString>

namespace kestrune {

// The directory's base address (scheme and host, no trailing slash). The program's own
// constant is the station simulator's default address; KESTRUNE_DIRECTORY_URL replaces it
// when set, so a simulator on another port, or a real directory, can be used.
QString DirectoryHost();
inline const QString DefaultDirectoryHost = QStringLiteral("http://127.0.0.1:8000");

struct DirectoryState {
    QString DirectoryUrl;      // the current query
    QString DirectoryPage;     // last downloaded page, lines joined without separators
    QString NextPageUrl;       // empty when there is no next page
    QString PreviousPageUrl;   // empty when there is no previous page
    qint16 MaxBitrate = 999;   // kbit/s; 999 = no limit
    qint32 StationCount = 0;   // stations taken from the current page
    qint32 DirectoryBytes = 0; // bytes received in the current download
};

} // namespace kestrune
