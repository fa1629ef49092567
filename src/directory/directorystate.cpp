#include "directory/directorystate.h"

#include <QtGlobal>

namespace kestrune {

QString DirectoryHost() {
    QString host = qEnvironmentVariable("KESTRUNE_DIRECTORY_URL").trimmed();
    if (host.isEmpty())
        host = DefaultDirectoryHost;
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    return host;
}

} // namespace kestrune
