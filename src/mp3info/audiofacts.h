// What a look at an audio file's headers tells: the figures the library's list, its LED
// read-outs and the tag editor's "MPEG info" show. Filled by the library's file analysis.
#pragma once

#include <QtGlobal>

namespace kestrune {

enum class ChannelMode {
    Unknown,     // no frame could be read
    Stereo,      // two independent channels
    JointStereo, // two channels coded together
    DualChannel, // two unrelated mono channels
    Mono,        // one channel
};

struct AudioFacts {
    bool valid = false;  // an MPEG audio frame was found; the figures below mean something
    qint64 lengthMs = 0; // play length, ms; 0 when unknown
    int bitrateKbps = 0; // kbit/s; a VBR file's average over its audio; 0 when unknown
    int sampleRate = 0;  // Hz, the file's own rate
    int channels = 0;    // 1 or 2; 0 when unknown
    int layer = 0;       // MPEG layer 1, 2 or 3; 0 when unknown
    ChannelMode mode = ChannelMode::Unknown;
};

} // namespace kestrune
