#include "stream/audio/decoderchain.h"

#include <algorithm>
#include <utility>

namespace kestrune {

namespace {

// Buffer requests allowed per readPcm beyond one per InputBufferSize bytes of PCM asked for.
// Compressed MP3 is at least four times smaller than this PCM (320 kbit/s against
// 1,411 kbit/s), so one request per 4 KiB of PCM is already generous; the extra covers the
// first frame and the bit reservoir. Input that decodes to nothing (junk, a stalled
// stream) thus costs a bounded number of requests, never a busy loop.
constexpr qint64 ExtraRequests = 4;

} // namespace

DecoderChain::DecoderChain(BufferRequest request)
    : m_request(std::move(request))
    , m_input(std::size_t(InputBufferSize)) {}

void DecoderChain::SetInputFormat(const QByteArray &formatBlock) {
    m_decoder.SetInputFormat(formatBlock);
}

void DecoderChain::Reset() {
    m_decoder.Reset();
}

qint64 DecoderChain::readPcm(char *data, qint64 maxBytes) {
    if (!data || maxBytes <= 0)
        return 0;
    maxBytes -= maxBytes % PcmBytesPerFrame;
    qint64 got = m_decoder.ReadPcm(data, maxBytes);
    if (!m_request)
        return got;

    const qint64 maxRequests = maxBytes / InputBufferSize + ExtraRequests;
    for (qint64 requests = 0; got < maxBytes && requests < maxRequests; ++requests) {
        bool moreBuffers = true;
        const qsizetype n =
            std::min(m_request(m_input.data(), InputBufferSize, moreBuffers), InputBufferSize);
        if (n <= 0)
            break;
        m_decoder.Feed(m_input.data(), n);
        got += m_decoder.ReadPcm(data + got, maxBytes - got);
        if (!moreBuffers)
            break;
    }
    return got;
}

} // namespace kestrune
