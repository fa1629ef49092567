#include "stream/framesync.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kestrune {

namespace {

// Bit rates in kbit/s by bit-rate index 0..14 (index 0 is "free format", which we do not play).
using RateRow = std::array<qint16, 15>;
constexpr RateRow Mpeg1Layer1 = {0,   32,  64,  96,  128, 160, 192, 224,
                                 256, 288, 320, 352, 384, 416, 448};
constexpr RateRow Mpeg1Layer2 = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
constexpr RateRow Mpeg1Layer3 = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr RateRow Mpeg2Layer1 = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
constexpr RateRow Mpeg2Layer23 = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

// Nominal rates by version bit and sample-rate index; MPEG-2.5 shares version bit 0 with
// MPEG-2 and runs at half these rates.
constexpr std::array<std::array<qint32, 3>, 2> NominalRates = {
    {{22050, 24000, 16000}, {44100, 48000, 32000}}};

constexpr int MaxCandidates = 10;
constexpr int FramesToAgree = 3;

struct Header {
    int versionBit = 0;
    int layer = 0;
    int bitRateIndex = 0;
    int sampleRateIndex = 0;
    int channelMode = 0;
    bool mpeg25 = false; // second byte starts 0xE: half the nominal rate

    // The version bits 01 are reserved; with the 0xE sync nibble they read as MPEG-2.5
    // with version bit 1.
    bool acceptable() const {
        return !(mpeg25 && versionBit == 1) && sampleRateIndex <= 2 && layer >= 1 && layer <= 3 &&
               bitRateIndex >= 1 && bitRateIndex <= 14;
    }
    bool agreesWith(const Header &o) const {
        return versionBit == o.versionBit && layer == o.layer && bitRateIndex == o.bitRateIndex &&
               sampleRateIndex == o.sampleRateIndex && channelMode == o.channelMode;
    }
};

const uchar *bytes(const QByteArray &head) {
    return reinterpret_cast<const uchar *>(head.constData());
}

// First position in [from, end) where 0xFF is followed by a byte whose upper nibble is 0xF or
// 0xE; both bytes must lie before `end`. -1 when there is none.
qint32 scanForSync(const QByteArray &head, qint32 from, qint32 end) {
    const uchar *data = bytes(head);
    qint32 pos = from;
    while (pos + 1 < end) {
        const void *hit = std::memchr(data + pos, 0xFF, size_t(end - 1 - pos));
        if (!hit)
            return -1;
        pos = qint32(static_cast<const uchar *>(hit) - data);
        const uchar next = data[pos + 1] >> 4;
        if (next == 0xF || next == 0xE)
            return pos;
        ++pos;
    }
    return -1;
}

// The header at `pos`, or false when its four bytes do not all lie before `end`.
bool readHeader(const QByteArray &head, qint32 pos, qint32 end, Header &out) {
    if (pos < 0 || qint64(pos) + 4 > end)
        return false;
    const uchar *b = bytes(head) + pos;
    const quint32 h = quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
    out.versionBit = int((h >> 19) & 1u);
    out.layer = int((4u - (h >> 17)) & 3u);
    out.bitRateIndex = int((h >> 12) & 15u);
    out.sampleRateIndex = int((h >> 10) & 3u);
    out.channelMode = int((h >> 6) & 3u);
    out.mpeg25 = (b[1] >> 4) == 0xE;
    return true;
}

qint32 frameBytes(int versionBit, int layer, int bitRateIndex, qint32 sampleRate) {
    const qint64 bitRate = GetBitRate(versionBit, layer, bitRateIndex);
    if (bitRate == 0 || sampleRate <= 0)
        return 0;
    if (layer == 1)
        return qint32(12 * bitRate / sampleRate * 4);
    // MPEG-2 and -2.5 layer 3 frames carry half the samples, hence half the bytes per rate.
    const qint64 factor = (layer == 3 && versionBit == 0) ? 72 : 144;
    return qint32(factor * bitRate / sampleRate);
}

qint32 nominalRate(int versionBit, int sampleRateIndex) {
    if (versionBit < 0 || versionBit > 1 || sampleRateIndex < 0 || sampleRateIndex > 2)
        return 0;
    return NominalRates[size_t(versionBit)][size_t(sampleRateIndex)];
}

// A frame's real length. CalcFrameSize only sees the version bit and so assumes MPEG-2 rates;
// an MPEG-2.5 frame is twice that long. Stepping by the short length would land mid-frame, and
// the scan for the next sync would then accept the first 0xFF 0xE?/0xF? pair in the audio
// data, which in real streams turns up often enough to reject the true first frame. The sync
// byte tells the two apart, so the walk uses the halved rate here.
qint32 realFrameBytes(const Header &h) {
    const qint32 rate = nominalRate(h.versionBit, h.sampleRateIndex);
    return frameBytes(h.versionBit, h.layer, h.bitRateIndex, h.mpeg25 ? rate / 2 : rate);
}

// Round half to even regardless of the floating-point environment the host left behind.
double roundHalfEven(double v) {
    const double lower = std::floor(v);
    const double frac = v - lower;
    if (frac > 0.5)
        return lower + 1;
    if (frac < 0.5)
        return lower;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

void putLE(QByteArray &out, int offset, quint64 value, int size) {
    for (int i = 0; i < size; ++i)
        out[offset + i] = char((value >> (8 * i)) & 0xFF);
}

template <typename T> T clampTo(double v) {
    if (!(v > 0))
        return 0;
    if (v >= double(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return T(v);
}

} // namespace

qint32 GetBitRate(int versionBit, int layer, int bitRateIndex) {
    if (bitRateIndex < 1 || bitRateIndex > 14)
        return 0;
    const RateRow *row = nullptr;
    if (versionBit == 1 && layer == 1)
        row = &Mpeg1Layer1;
    else if (versionBit == 1 && layer == 2)
        row = &Mpeg1Layer2;
    else if (versionBit == 1 && layer == 3)
        row = &Mpeg1Layer3;
    else if (versionBit == 0 && layer == 1)
        row = &Mpeg2Layer1;
    else if (versionBit == 0 && (layer == 2 || layer == 3))
        row = &Mpeg2Layer23;
    return row ? qint32((*row)[size_t(bitRateIndex)]) * 1000 : 0;
}

qint32 CalcFrameSize(int versionBit, int layer, int bitRateIndex, int sampleRateIndex) {
    return frameBytes(versionBit, layer, bitRateIndex, nominalRate(versionBit, sampleRateIndex));
}

qint32 FindFrameSync(const QByteArray &head, qint32 start, qint32 end,
                     const SampleRateTable &sampleRates, StreamFormat &format) {
    if (start < 0)
        start = 0;
    if (end > head.size())
        end = qint32(head.size());

    qint32 candidate = start - 1;
    for (int attempt = 0; attempt < MaxCandidates;) {
        candidate = scanForSync(head, candidate + 1, end);
        if (candidate < 0)
            return -1;
        // Only a valid header is a candidate. Audio data is full of sync patterns whose
        // headers are not (a run of 0xFF bytes has one at every byte, with bit-rate index
        // 15), and letting them count would use up the tries before the real frame.
        Header h;
        if (!readHeader(head, candidate, end, h) || !h.acceptable())
            continue;
        ++attempt;

        Header first;
        qint32 p = candidate;
        for (int k = 1; k <= FramesToAgree; ++k) {
            if (k > 1 && (!readHeader(head, p, end, h) || !h.acceptable()))
                break;
            if (k == 1) {
                first = h;
                format.versionBit = qint16(h.versionBit);
                format.layer = qint16(h.layer);
                format.channelMode = qint16(h.channelMode);
                format.sampleRate = h.sampleRateIndex;
                format.bitRate = h.bitRateIndex;
            } else if (!h.agreesWith(first)) {
                break;
            }
            if (k == FramesToAgree) {
                const qint32 rate = sampleRates.at(first.versionBit, first.sampleRateIndex);
                format.sampleRate = first.mpeg25 ? rate / 2 : rate;
                format.bitRate = GetBitRate(first.versionBit, first.layer, first.bitRateIndex);
                return candidate;
            }
            const qint32 length = realFrameBytes(h);
            if (length <= 0)
                break;
            // The frame may be followed by a padding byte or junk; the next header is the
            // next sync pattern.
            p = scanForSync(head, p + length, end);
            if (p < 0)
                return -1;
        }
    }
    return -1;
}

QByteArray BuildDecoderFormat(qint32 sampleRate, qint32 bitRate, int channels) {
    QByteArray out(DecoderFormatSize, '\0');
    double frameLength = 0;
    double averageBytes = 0;
    if (sampleRate > 0 && bitRate > 0) {
        frameLength = double(bitRate) * 144 / sampleRate;
        averageBytes = roundHalfEven(double(sampleRate) * 100 / 1152 * frameLength / 100);
    }
    putLE(out, 0, 0x55, 2);
    putLE(out, 2, quint16(channels), 2);
    putLE(out, 4, quint32(sampleRate), 4);
    putLE(out, 8, clampTo<quint32>(averageBytes), 4);
    putLE(out, 12, 1, 2);
    putLE(out, 14, 0, 2);
    putLE(out, 16, 12, 2);
    putLE(out, 18, 1, 2);
    putLE(out, 20, 2, 4);
    putLE(out, 24, clampTo<quint16>(frameLength), 2);
    putLE(out, 26, 1, 2);
    putLE(out, 28, 1393, 2);
    return out;
}

} // namespace kestrune
