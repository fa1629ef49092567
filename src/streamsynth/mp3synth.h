// MP3 data made on the spot for tests, the station simulator and benchmarks: a few tones
// encoded with libmp3lame, so no audio files need to be shipped.
#pragma once

#include <QByteArray>

namespace kestrune::testsupport {

struct Mp3Params {
    int sampleRate = 44100; // Hz: any rate MP3 allows (MPEG-1, -2 and -2.5 rates)
    int channels = 2;       // 1 or 2
    int bitrateKbps = 128;  // constant bit rate, unless vbr
    bool vbr = false;       // variable bit rate (frames differ in bit-rate index)
    double seconds = 1.0;   // length of the audio
    double toneHz = 440.0;  // base tone; the right channel plays a fifth above
};

// Raw MPEG audio frames, no tags, no Xing/Info frame (so the first frame is real audio).
QByteArray synthesizeMp3(const Mp3Params &params);

// Number of PCM samples per channel the data decodes to, as the encoder reports it (frames
// × samples per frame).
int samplesPerFrame(int sampleRate);

} // namespace kestrune::testsupport
