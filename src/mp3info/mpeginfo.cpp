#include "mp3info/mpeginfo.h"

#include "mp3info/id3v1.h"

#include <QFile>

#include <array>
#include <optional>

namespace kestrune {

namespace {

enum class Version { Mpeg1, Mpeg2, Mpeg25 };

// kbit/s by bitrate index 0..14 (0 = free format); index 15 is no header.
constexpr std::array<int, 15> Mpeg1Layer1{0,   32,  64,  96,  128, 160, 192, 224,
                                          256, 288, 320, 352, 384, 416, 448};
constexpr std::array<int, 15> Mpeg1Layer2{0,   32,  48,  56,  64,  80,  96, 112,
                                          128, 160, 192, 224, 256, 320, 384};
constexpr std::array<int, 15> Mpeg1Layer3{0,   32,  40,  48,  56,  64,  80, 96,
                                          112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 15> Mpeg2Layer1{0,   32,  48,  56,  64,  80,  96, 112,
                                          128, 144, 160, 176, 192, 224, 256};
constexpr std::array<int, 15> Mpeg2Layer23{0,  8,  16, 24,  32,  40,  48, 56,
                                           64, 80, 96, 112, 128, 144, 160};

// Hz by sample-rate index 0..2 (index 3 is no header).
constexpr std::array<int, 3> Mpeg1Rates{44100, 48000, 32000};
constexpr std::array<int, 3> Mpeg2Rates{22050, 24000, 16000};
constexpr std::array<int, 3> Mpeg25Rates{11025, 12000, 8000};

struct FrameHeader {
    Version version = Version::Mpeg1;
    int layer = 0;      // 1..3
    int rateIndex = 0;  // 0..2
    int bitrate = 0;    // kbit/s; 0 for free format
    int sampleRate = 0; // Hz
    bool crc = false;   // a 16-bit CRC follows the header
    bool padding = false;
    quint8 modeByte = 0; // the fourth header byte: channel mode, copyright, original, emphasis

    bool freeFormat() const { return bitrate == 0; }
    bool mono() const { return (modeByte >> 6) == 3; }
    int samplesPerFrame() const {
        if (layer == 1)
            return 384;
        if (layer == 3 && version != Version::Mpeg1)
            return 576;
        return 1152;
    }
    // Bytes from this header to the next; 0 for free format (not in the header).
    qint64 frameBytes() const {
        if (freeFormat())
            return 0;
        const qint64 bitsPerSecond = qint64(bitrate) * 1000;
        if (layer == 1)
            return (12 * bitsPerSecond / sampleRate + (padding ? 1 : 0)) * 4;
        const int factor = samplesPerFrame() / 8; // 144 or 72
        return factor * bitsPerSecond / sampleRate + (padding ? 1 : 0);
    }
    bool sameStreamAs(const FrameHeader &other) const {
        return version == other.version && layer == other.layer && rateIndex == other.rateIndex;
    }
};

// The header at `p` (four bytes there), if it is one.
std::optional<FrameHeader> parseHeader(const uchar *p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return std::nullopt;
    FrameHeader h;
    switch ((p[1] >> 3) & 3) {
    case 0:
        h.version = Version::Mpeg25;
        break;
    case 2:
        h.version = Version::Mpeg2;
        break;
    case 3:
        h.version = Version::Mpeg1;
        break;
    default:
        return std::nullopt; // reserved
    }
    const int layerBits = (p[1] >> 1) & 3;
    if (layerBits == 0)
        return std::nullopt; // reserved
    h.layer = 4 - layerBits;
    h.crc = (p[1] & 1) == 0;

    const int bitrateIndex = p[2] >> 4;
    h.rateIndex = (p[2] >> 2) & 3;
    if (bitrateIndex == 15 || h.rateIndex == 3)
        return std::nullopt;
    h.padding = (p[2] & 2) != 0;
    if (h.version == Version::Mpeg1) {
        const auto &table = h.layer == 1 ? Mpeg1Layer1 : (h.layer == 2 ? Mpeg1Layer2 : Mpeg1Layer3);
        h.bitrate = table[bitrateIndex];
        h.sampleRate = Mpeg1Rates[h.rateIndex];
    } else {
        h.bitrate = (h.layer == 1 ? Mpeg2Layer1 : Mpeg2Layer23)[bitrateIndex];
        h.sampleRate = (h.version == Version::Mpeg2 ? Mpeg2Rates : Mpeg25Rates)[h.rateIndex];
    }
    h.modeByte = p[3];
    return h;
}

// Where the frame found at `pos` is confirmed: its successor's header lies at its frame length
// (any header of the same stream for free format), or the frame ends where the audio ends.
bool confirmed(const QByteArray &head, qint64 pos, const FrameHeader &h, qint64 audioEnd) {
    const auto *bytes = reinterpret_cast<const uchar *>(head.constData());
    const qint64 size = head.size();
    if (h.freeFormat()) {
        for (qint64 q = pos + 4; q + 4 <= size; ++q) {
            const auto next = parseHeader(bytes + q);
            if (next && next->freeFormat() && next->sameStreamAs(h))
                return true;
        }
        return false;
    }
    const qint64 next = pos + h.frameBytes();
    if (next == audioEnd)
        return true;
    if (next + 4 > size)
        return false;
    const auto following = parseHeader(bytes + next);
    return following && following->sameStreamAs(h);
}

quint32 bigEndian32(const uchar *p) {
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

// The VBR header in a layer-3 frame's audio data: "Xing" (lame: "Info" for constant bitrate),
// its flags, then the frame count and the byte count when their flags say so.
struct VbrHeader {
    bool variable = false; // "Xing"; "Info" marks a constant-bitrate file
    quint32 frames = 0;    // 0 when not given
    quint32 bytes = 0;     // 0 when not given
};

std::optional<VbrHeader> readVbrHeader(const QByteArray &head, qint64 pos, const FrameHeader &h) {
    if (h.layer != 3)
        return std::nullopt;
    const bool mpeg1 = h.version == Version::Mpeg1;
    const qint64 sideInfo = mpeg1 ? (h.mono() ? 17 : 32) : (h.mono() ? 9 : 17); // bytes
    const qint64 at = pos + 4 + (h.crc ? 2 : 0) + sideInfo;
    if (at + 8 > head.size())
        return std::nullopt;
    const QByteArray id = head.mid(at, 4);
    if (id != "Xing" && id != "Info")
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(head.constData());
    VbrHeader vbr;
    vbr.variable = id == "Xing";
    const quint32 flags = bigEndian32(bytes + at + 4);
    qint64 field = at + 8;
    if (flags & 1) {
        if (field + 4 > head.size())
            return vbr;
        vbr.frames = bigEndian32(bytes + field);
        field += 4;
    }
    if ((flags & 2) && field + 4 <= head.size())
        vbr.bytes = bigEndian32(bytes + field);
    return vbr;
}

QString yesNo(bool yes) {
    return yes ? QStringLiteral(" Yes") : QStringLiteral(" No");
}

} // namespace

qint64 Id3v2TagSize(const QByteArray &bytes) {
    if (bytes.size() < 10 || !bytes.startsWith("ID3"))
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    if (p[3] == 0xFF || p[4] == 0xFF)
        return 0;
    qint64 size = 0;
    for (int i = 6; i < 10; ++i) {
        if (p[i] & 0x80)
            return 0; // not syncsafe: not a tag header
        size = (size << 7) | p[i];
    }
    const bool footer = (p[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

bool ReadMpegInfo(const MpegFileView &view, MpegInfo &info) {
    info = MpegInfo();
    info.FileSize = QString::number(view.fileLength) + QStringLiteral(" bytes");

    // Where the audio ends, counted from the start of `head`.
    const qint64 audioEnd = view.fileLength - view.audioStart - (view.endsInId3v1 ? Id3v1Size : 0);
    const auto *bytes = reinterpret_cast<const uchar *>(view.head.constData());
    const qint64 size = view.head.size();

    std::optional<FrameHeader> found;
    qint64 pos = 0;
    for (; pos < MpegSearchBytes - 4 && pos + 4 <= size; ++pos) {
        found = parseHeader(bytes + pos);
        if (found && confirmed(view.head, pos, *found, audioEnd))
            break;
        found.reset();
    }
    if (!found)
        return false;
    const FrameHeader &h = *found;

    info.Crc = h.crc ? QStringLiteral("Yes") : QStringLiteral("No");
    switch (h.version) {
    case Version::Mpeg1:
        info.Version = QStringLiteral("MPEG 1.0");
        break;
    case Version::Mpeg2:
        info.Version = QStringLiteral("MPEG 2.0");
        break;
    case Version::Mpeg25:
        info.Version = QStringLiteral("MPEG 2.5");
        break;
    }
    info.Layer = QStringLiteral("layer %1").arg(h.layer);
    info.Frequency = QString::number(h.sampleRate) + QStringLiteral(" Hz");

    const qint64 audioBytes = qMax<qint64>(0, audioEnd - pos);
    const std::optional<VbrHeader> vbr = readVbrHeader(view.head, pos, h);
    const qint64 samples = vbr ? qint64(vbr->frames) * h.samplesPerFrame() : 0;
    qint64 seconds = 0;
    if (samples > 0 && vbr->variable) {
        const qint64 vbrBytes = vbr->bytes > 0 ? qint64(vbr->bytes) : audioBytes;
        const qint64 kbps = vbrBytes * 8 * h.sampleRate / (samples * 1000);
        seconds = samples / h.sampleRate;
        info.Bitrate = QString::number(kbps) + QStringLiteral(" Kbit (VBR)");
    } else {
        if (samples > 0)
            seconds = samples / h.sampleRate;
        else if (h.bitrate > 0)
            seconds = audioBytes * 8 / (qint64(h.bitrate) * 1000);
        info.Bitrate = QString::number(h.bitrate) + QStringLiteral("Kbit");
    }
    info.Length = QString::number(seconds) + QStringLiteral(" seconds");

    info.Copyright = yesNo(h.modeByte & 0x08);
    info.Original = yesNo(h.modeByte & 0x04);
    static constexpr std::array<const char *, 4> Emphases{" None", " 50/15 microsec", " invalid",
                                                          " CITT j. 17"};
    info.Emphasis = QString::fromLatin1(Emphases[h.modeByte & 3]);
    static constexpr std::array<const char *, 4> Modes{" Stereo", " Joint Stereo", " 2 Channel",
                                                       " Mono"};
    info.ChannelMode = QString::fromLatin1(Modes[h.modeByte >> 6]);
    return true;
}

bool ReadMpegInfo(const QString &fileName, MpegInfo &info) {
    info = MpegInfo();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    MpegFileView view;
    view.fileLength = file.size();
    info.FileSize = QString::number(view.fileLength) + QStringLiteral(" bytes");

    // Tags may follow one another; each step moves on by at least a header's 10 bytes.
    while (view.audioStart < view.fileLength && file.seek(view.audioStart)) {
        const qint64 tag = Id3v2TagSize(file.read(10));
        if (tag == 0)
            break;
        view.audioStart += tag;
    }
    if (view.fileLength >= Id3v1Size && file.seek(view.fileLength - Id3v1Size))
        view.endsInId3v1 = IsId3v1Tag(file.read(Id3v1Size));
    if (view.audioStart < view.fileLength && file.seek(view.audioStart))
        view.head = file.read(MpegSearchBytes + MpegFrameReach);
    return ReadMpegInfo(view, info);
}

} // namespace kestrune
