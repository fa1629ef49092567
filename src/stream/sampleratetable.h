// Sample rates of MPEG audio headers, by the header's version bit and sample-rate index.
#pragma once

#include <QtGlobal>

#include <array>

namespace kestrune {

class SampleRateTable {
public:
    // Rates in Hz for version bit 0 (MPEG-2; MPEG-2.5 halves them) and 1 (MPEG-1). Index 3 is
    // reserved in the header and holds 1; every other entry stays 0 until Fill.
    void Fill();

    // 0 for any entry outside the table or not filled.
    qint32 at(int versionBit, int sampleRateIndex) const;

private:
    // Indexed [version bit 0..2][sample-rate index 0..4], as the lookups have always been.
    std::array<std::array<qint32, 5>, 3> m_rates{};
};

} // namespace kestrune
