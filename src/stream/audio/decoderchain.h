// The decoder chain as the output sees it: a PcmSource that decodes compressed input it asks
// for one buffer at a time. The "buffer request" is that ask: the chain's owner fills the
// buffer (from the stream's ring) and says whether more will follow.
#pragma once

#include "stream/audio/mpg123decoder.h"
#include "stream/pcmsource.h"

#include <functional>
#include <vector>

namespace kestrune {

class DecoderChain : public PcmSource {
public:
    // Compressed input asked for at a time, in bytes.
    static constexpr qsizetype InputBufferSize = 4096;

    // Fills `buffer` with up to `size` bytes and returns how many; sets `moreBuffers` false
    // when no more input is to be expected for now.
    using BufferRequest = std::function<qsizetype(char *buffer, qsizetype size, bool &moreBuffers)>;

    explicit DecoderChain(BufferRequest request);

    // Starts a new stream with the given input format block.
    void SetInputFormat(const QByteArray &formatBlock);
    // Forgets everything buffered.
    void Reset();

    qint64 readPcm(char *data, qint64 maxBytes) override;

    Mpg123Decoder &decoder() { return m_decoder; }

private:
    BufferRequest m_request;
    Mpg123Decoder m_decoder;
    std::vector<char> m_input;
};

} // namespace kestrune
