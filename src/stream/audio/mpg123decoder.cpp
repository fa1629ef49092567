#include "stream/audio/mpg123decoder.h"

#include "stream/pcmsource.h"

#include <QLoggingCategory>

#include <mpg123.h>

#include <mutex>

namespace kestrune {

namespace {

Q_LOGGING_CATEGORY(lcDecoder, "kestrune.decoder", QtWarningMsg)

// Library versions before 1.27 need one mpg123_init per process; later ones ignore it. It is
// never undone: the library stays usable until the process ends.
bool initLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
    return ok;
}

// Output calls in a row that may fail without producing anything before ReadPcm gives up
// for this call; keeps a stream of broken frames from spinning the caller.
constexpr int MaxErrorsPerRead = 8;

} // namespace

Mpg123Decoder::Mpg123Decoder() {
    open();
}

Mpg123Decoder::~Mpg123Decoder() {
    close();
}

void Mpg123Decoder::open() {
    if (!initLibrary()) {
        qCWarning(lcDecoder) << "libmpg123 could not be initialised";
        return;
    }
    int err = MPG123_OK;
    mpg123_handle *h = mpg123_new(nullptr, &err);
    if (!h) {
        qCWarning(lcDecoder) << "mpg123_new failed:" << mpg123_plain_strerror(err);
        return;
    }
    // Whatever the stream's rate and channels, the output is the one PCM format the outputs
    // take: the decoder's own resampler and channel duplication do the conversion. A radio
    // stream may start mid-frame or carry junk between frames, so sync is searched for as far
    // as it takes (in feed mode that is only as far as has been fed).
    const bool ok =
        mpg123_param(h, MPG123_ADD_FLAGS, MPG123_FORCE_STEREO | MPG123_QUIET, 0) == MPG123_OK &&
        mpg123_param(h, MPG123_FORCE_RATE, PcmSampleRate, 0) == MPG123_OK &&
        mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0) == MPG123_OK &&
        mpg123_format_none(h) == MPG123_OK &&
        mpg123_format(h, PcmSampleRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK &&
        mpg123_open_feed(h) == MPG123_OK;
    if (!ok) {
        qCWarning(lcDecoder) << "libmpg123 setup failed:" << mpg123_strerror(h);
        mpg123_delete(h);
        return;
    }
    m_handle = h;
}

void Mpg123Decoder::close() {
    if (!m_handle)
        return;
    mpg123_close(m_handle);
    mpg123_delete(m_handle);
    m_handle = nullptr;
}

void Mpg123Decoder::SetInputFormat(const QByteArray &formatBlock) {
    m_formatBlock = formatBlock;
    Reset();
}

void Mpg123Decoder::Reset() {
    m_streamRate = 0;
    m_streamChannels = 0;
    if (!m_handle)
        return;
    // Reopening the feed drops buffered input, the bit reservoir and pending output; the
    // format settings stay with the handle.
    if (mpg123_open_feed(m_handle) != MPG123_OK) {
        qCWarning(lcDecoder) << "reopening the feed failed:" << mpg123_strerror(m_handle);
        close();
        open();
    }
}

void Mpg123Decoder::Feed(const char *data, qsizetype size) {
    if (!m_handle || !data || size <= 0)
        return;
    if (mpg123_feed(m_handle, reinterpret_cast<const unsigned char *>(data), size_t(size)) !=
        MPG123_OK)
        qCWarning(lcDecoder) << "mpg123_feed failed:" << mpg123_strerror(m_handle);
}

qsizetype Mpg123Decoder::ReadPcm(char *out, qsizetype maxBytes) {
    if (!m_handle || !out)
        return 0;
    maxBytes -= maxBytes % PcmBytesPerFrame;
    qsizetype got = 0;
    int errors = 0;
    while (got < maxBytes) {
        size_t done = 0;
        const int rc = mpg123_read(m_handle, out + got, size_t(maxBytes - got), &done);
        got += qsizetype(done);
        // The output format is pinned, so a new stream format needs no action here.
        if (rc == MPG123_OK || rc == MPG123_NEW_FORMAT)
            continue;
        if (rc == MPG123_NEED_MORE || rc == MPG123_DONE)
            break;
        // A broken frame: the library skips it and resyncs on the next call. Stop after a few
        // in a row so the caller can feed or give up rather than loop here.
        qCDebug(lcDecoder) << "decoding error:" << mpg123_strerror(m_handle);
        if (done == 0 && ++errors >= MaxErrorsPerRead)
            break;
    }
    // Not only at MPG123_NEW_FORMAT: with the output format pinned, a reset feed or a stream
    // that changes rate mid-way does not announce itself.
    if (got > 0)
        noteStreamFormat();
    return got;
}

void Mpg123Decoder::noteStreamFormat() {
    mpg123_frameinfo2 info{};
    if (mpg123_info2(m_handle, &info) != MPG123_OK)
        return;
    m_streamRate = int(info.rate);
    m_streamChannels = info.mode == MPG123_M_MONO ? 1 : 2;
}

} // namespace kestrune
