// Where an audio output pulls its sound from: 44,100 Hz, 16-bit signed little-endian, two
// interleaved channels (4 bytes a frame).
#pragma once

#include <QtGlobal>

namespace kestrune {

inline constexpr int PcmSampleRate = 44100;
inline constexpr int PcmChannels = 2;
inline constexpr int PcmBytesPerFrame = 4;

class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Fills up to `maxBytes` (a multiple of PcmBytesPerFrame) and returns the bytes written;
    // 0 when nothing is available just now.
    virtual qint64 readPcm(char *data, qint64 maxBytes) = 0;
};

} // namespace kestrune
