#include "stream/audiooutput.h"

#include <QMetaMethod>

namespace kestrune {

void AudioOutput::notePlayed(const char *data, qint64 bytes) {
    if (bytes <= 0)
        return;
    m_bytesPlayed += bytes;
    // A copy per piece of sound is worth it only when somebody looks at it.
    if (isSignalConnected(QMetaMethod::fromSignal(&AudioOutput::played)))
        Q_EMIT played(QByteArray(data, bytes));
}

} // namespace kestrune
