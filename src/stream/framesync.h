// Finding the first MPEG audio frame of a stream's head, and describing the stream to the
// decoder. Pure functions over bytes.
#pragma once

#include "stream/sampleratetable.h"

#include <QByteArray>
#include <QtGlobal>

namespace kestrune {

// What the first agreeing frames say about the stream.
struct StreamFormat {
    qint16 versionBit = 0;  // header ID bit: 1 = MPEG-1, 0 = MPEG-2 or MPEG-2.5
    qint16 layer = 0;       // 1 to 3
    qint16 channelMode = 0; // 0 to 3; 3 = single channel
    qint32 sampleRate = 0;  // Hz after a successful search (the index during it)
    qint32 bitRate = 0;     // bit/s after a successful search (the index during it)
};

// Bit rate in bit/s for a header's version bit, layer (1-3) and bit-rate index (1-14);
// 0 for anything else.
qint32 GetBitRate(int versionBit, int layer, int bitRateIndex);

// Whole frame length in bytes, without the padding byte, for the given header fields;
// 0 when the fields do not describe a frame.
qint32 CalcFrameSize(int versionBit, int layer, int bitRateIndex, int sampleRateIndex);

// Position of the first of three consecutive frames that agree in version, layer, channel
// mode, sample-rate and bit-rate index, searching from `start` up to (not including) `end`;
// at most ten candidates are tried, a candidate being a sync pattern with a valid header
// (version not reserved, layer 1-3, bit-rate index 1-14, sample-rate index 0-2); other sync
// patterns are passed over. -1 when none is found. Fills `format` (on success with
// the rate in Hz - halved for MPEG-2.5 - and the bit rate in bit/s). Only header bytes that
// lie before `end` and inside `head` are read.
qint32 FindFrameSync(const QByteArray &head, qint32 start, qint32 end,
                     const SampleRateTable &sampleRates, StreamFormat &format);

// The decoder's input format block: 532 bytes, of which the first 30 are an MPEG Layer-3
// wave format description (little-endian):
//   0 format tag 0x55 | 2 channels | 4 samples per second | 8 average bytes per second
//   12 block align 1 | 14 bits per sample 0 | 16 extra size 12 | 18 id 1 (MPEG)
//   20 flags 2 | 24 block size | 26 frames per block 1 | 28 codec delay 1393
// frame length = bitRate * 144 / sampleRate (floating point); block size is its integer part;
// average bytes per second = round-half-to-even(sampleRate * 100 / 1152 * frame length / 100).
// The remaining 502 bytes are zero.
inline constexpr int DecoderFormatSize = 532;
QByteArray BuildDecoderFormat(qint32 sampleRate, qint32 bitRate, int channels);

} // namespace kestrune
