// The library's analysis of one recording file (length, bitrate, rate, channels), done for
// every file of a folder the library lists.
#include "fuzzsupport.h"
#include "library/libraryfolder.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static fuzz::ScratchFile file;
    const AudioFacts facts = AnalyseAudioFile(file.write(data, size));
    if (facts.valid) {
        fuzz::check(facts.lengthMs >= 0 && facts.bitrateKbps >= 0, "no negative figure");
        fuzz::check(facts.channels == 1 || facts.channels == 2, "one or two channels");
        fuzz::check(facts.layer >= 1 && facts.layer <= 3, "layer 1 to 3");
    } else {
        fuzz::check(facts.lengthMs == 0 && facts.sampleRate == 0, "no figures for a non-MP3");
    }
    return 0;
}
