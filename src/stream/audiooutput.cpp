#include "stream/audiooutput.h"

namespace kestrune {

void AudioOutput::notePlayed(const char *data, qint64 bytes) {
    if (bytes <= 0)
        return;
    m_bytesPlayed += bytes;
    Q_EMIT played(QByteArray(data, bytes));
}

} // namespace kestrune
