// MPEG audio decoding with libmpg123 in feed mode, always producing PcmSource's format
// (44,100 Hz, 16-bit, stereo) whatever the stream's own rate and channel count.
#pragma once

#include <QByteArray>
#include <QtGlobal>

struct mpg123_handle_struct;

namespace kestrune {

class Mpg123Decoder {
public:
    Mpg123Decoder();
    ~Mpg123Decoder();
    Mpg123Decoder(const Mpg123Decoder &) = delete;
    Mpg123Decoder &operator=(const Mpg123Decoder &) = delete;

    // False when libmpg123 could not be set up; then nothing decodes.
    bool isValid() const { return m_handle != nullptr; }

    // Starts a new stream: forgets buffered input and output. The format block (see
    // BuildDecoderFormat) describes the coming stream; it is kept for diagnosis, the decoder
    // reads the real format from the frames.
    void SetInputFormat(const QByteArray &formatBlock);
    void Reset();

    // Hands compressed bytes to the decoder.
    void Feed(const char *data, qsizetype size);
    // Decoded PCM, up to `maxBytes` (a multiple of 4); 0 when the decoder needs more input.
    qsizetype ReadPcm(char *out, qsizetype maxBytes);

    // The stream's own rate and channel count as the decoder found them; 0 before the first
    // frame.
    int streamRate() const { return m_streamRate; }
    int streamChannels() const { return m_streamChannels; }
    QByteArray inputFormat() const { return m_formatBlock; }

private:
    void open();
    void close();
    void noteStreamFormat();

    mpg123_handle_struct *m_handle = nullptr;
    QByteArray m_formatBlock;
    int m_streamRate = 0;
    int m_streamChannels = 0;
};

} // namespace kestrune
