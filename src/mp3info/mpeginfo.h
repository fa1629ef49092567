// The MPEG audio header analyser: what the first frame of a file says, as display texts.
//
// Texts, field by field (numbers in plain decimal):
//   Bitrate      "128Kbit"; a VBR file (Xing header with a frame count) "N Kbit (VBR)", its
//                average over its audio
//   ChannelMode  " Stereo", " Joint Stereo", " 2 Channel", " Mono"
//   Copyright    " Yes", " No"
//   Crc          "Yes" (a CRC follows the header), "No"
//   Emphasis     " None", " 50/15 microsec", " invalid", " CITT j. 17"
//   Frequency    "44100 Hz"
//   Layer        "layer 1", "layer 2", "layer 3"
//   Length       "250 seconds" (whole seconds, truncated)
//   Version      "MPEG 1.0", "MPEG 2.0", "MPEG 2.5"
//   Original     " Yes", " No"
//   FileSize     "4000000 bytes" (the whole file, tags included)
//
// A header counts only when the next frame's header follows at its frame length (or the frame
// ends exactly where the audio does): a lone 0xFF 0xFx in a picture or in padding is not a
// frame. A free-format frame (bitrate index 0) counts when a header like it follows somewhere
// in the bytes looked at; its bitrate and length are 0.
#pragma once

#include <QByteArray>
#include <QString>

namespace kestrune {

inline constexpr qint64 MpegSearchBytes = 4096; // a frame must start within these, bytes
// The most a frame can take (MPEG 1 layer 2, 384 kbit/s at 32 kHz, padded) plus its
// successor's header: what is read beyond the search window to see the next frame, bytes.
inline constexpr qint64 MpegFrameReach = 1728 + 1 + 4;

inline constexpr char NotMpegText[] = "Not a MP3 file...";
inline constexpr char NotMpegTitle[] = "Error...";

struct MpegInfo {
    QString Bitrate;
    QString ChannelMode;
    QString Copyright;
    QString Crc;
    QString Emphasis;
    QString Frequency;
    QString Layer;
    QString Length;
    QString Version;
    QString Original;
    QString FileSize;
};

// What the analyser looks at: the start of the audio and the file's measures.
struct MpegFileView {
    // The file's bytes from audioStart on: MpegSearchBytes + MpegFrameReach of them, or all
    // up to the end of the file when it is shorter.
    QByteArray head;
    qint64 audioStart = 0;    // bytes of ID3v2 tags before `head`
    qint64 fileLength = 0;    // bytes
    bool endsInId3v1 = false; // the last 128 bytes are an ID3v1 tag, not audio
};

// The size of the ID3v2 tag that `bytes` (at least its first 10) starts with, header and
// footer included; 0 when it starts with none.
qint64 Id3v2TagSize(const QByteArray &bytes);

// Fills every field of `info` from `view`. False when no frame header is found: then only
// FileSize is filled and the other fields are empty (nothing is kept from an earlier file).
bool ReadMpegInfo(const MpegFileView &view, MpegInfo &info);

// Reads the file (skipping ID3v2 tags at its start) and analyses it. False when it cannot be
// read or holds no frame header; FileSize is filled whenever the file could be measured. The
// caller tells the user (NotMpegText, NotMpegTitle).
bool ReadMpegInfo(const QString &fileName, MpegInfo &info);

} // namespace kestrune
