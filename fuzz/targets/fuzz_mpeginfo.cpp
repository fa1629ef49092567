// The MPEG header analyser on a whole file, as MP3 Info and kestrune-mp3info call it: tags
// skipped, the first frame found and confirmed, the texts filled.
#include "fuzzsupport.h"
#include "mp3info/mpeginfo.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static fuzz::ScratchFile file;
    MpegInfo info;
    const bool found = ReadMpegInfo(file.write(data, size), info);
    fuzz::check(info.FileSize == QStringLiteral("%1 bytes").arg(size), "the size is the file's");
    fuzz::check(found != info.Layer.isEmpty(),
                "the texts are filled exactly when a frame is found");
    if (found) {
        fuzz::check(!info.Bitrate.startsWith(QLatin1Char('-')), "no negative bitrate");
        fuzz::check(!info.Length.startsWith(QLatin1Char('-')), "no negative length");
    }
    return 0;
}
