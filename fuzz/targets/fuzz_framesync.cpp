// Frame sync on a head as the intake holds it: the search from the end of the header block to
// the end of what arrived, then the decoder's format block from what the frames said.
#include "fuzzsupport.h"
#include "stream/framesync.h"
#include "stream/intake.h"

#include <cstddef>
#include <cstdint>

using namespace kestrune;

namespace {

SampleRateTable filledTable() {
    SampleRateTable table;
    table.Fill();
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const SampleRateTable rates = filledTable();
    const qint32 length = qint32(qMin<size_t>(size, StreamIntake::HeadCapacity));
    // Exactly the bytes that arrived, so a read beyond them is caught.
    const QByteArray head(reinterpret_cast<const char *>(data), length);
    const qint32 start = StreamIntake::FindHeaderEnd(head.constData(), length);
    StreamFormat format;
    const qint32 position = FindFrameSync(head, start, length, rates, format);
    if (position < 0)
        return 0;
    fuzz::check(position >= start && position + 4 <= length, "the frame lies in the searched part");
    fuzz::check(format.sampleRate > 0 && format.bitRate > 0, "a found frame has rates");
    const QByteArray block =
        BuildDecoderFormat(format.sampleRate, format.bitRate, format.channelMode == 3 ? 1 : 2);
    fuzz::check(block.size() == DecoderFormatSize, "the format block has its fixed size");
    return 0;
}
