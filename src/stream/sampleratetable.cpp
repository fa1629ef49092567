#include "stream/sampleratetable.h"

namespace kestrune {

void SampleRateTable::Fill() {
    m_rates[0][0] = 22050;
    m_rates[0][1] = 24000;
    m_rates[0][2] = 16000;
    m_rates[0][3] = 1;
    m_rates[1][0] = 44100;
    m_rates[1][1] = 48000;
    m_rates[1][2] = 32000;
    m_rates[1][3] = 1;
}

qint32 SampleRateTable::at(int versionBit, int sampleRateIndex) const {
    if (versionBit < 0 || versionBit >= int(m_rates.size()) || sampleRateIndex < 0 ||
        sampleRateIndex >= int(m_rates[0].size()))
        return 0;
    return m_rates[size_t(versionBit)][size_t(sampleRateIndex)];
}

} // namespace kestrune
