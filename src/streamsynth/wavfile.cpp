#include "streamsynth/wavfile.h"

#include <QtEndian>

#include <cmath>

namespace kestrune::testsupport {

QByteArray ToneWav(int rate, int channels, qint64 frames, quint32 seed) {
    const qint64 dataBytes = frames * channels * 2;
    QByteArray wav(44 + dataBytes, Qt::Uninitialized);
    char *head = wav.data();
    auto put = [head](int at, const char *tag) { std::copy_n(tag, 4, head + at); };
    auto put32 = [head](int at, quint32 v) { qToLittleEndian(v, head + at); };
    auto put16 = [head](int at, quint16 v) { qToLittleEndian(v, head + at); };
    put(0, "RIFF");
    put32(4, quint32(36 + dataBytes));
    put(8, "WAVE");
    put(12, "fmt ");
    put32(16, 16);
    put16(20, 1); // PCM
    put16(22, quint16(channels));
    put32(24, quint32(rate));
    put32(28, quint32(rate * channels * 2));
    put16(32, quint16(channels * 2));
    put16(34, 16);
    put(36, "data");
    put32(40, quint32(dataBytes));

    const double pitch = 220.0 + seed % 7 * 55.0; // Hz
    quint32 noise = seed * 2654435761u + 12345u;
    char *out = head + 44;
    for (qint64 i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double tone =
            std::sin(t * 2.0 * M_PI * pitch) * 6000.0 +
            std::sin(t * 2.0 * M_PI * pitch * 7.16) * 2500.0 * (0.5 + 0.5 * std::sin(t * 3.0));
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const auto sample = qint16(tone * (c == 0 ? 1.0 : 0.6) + int(noise >> 22) - 512);
            qToLittleEndian(sample, out);
            out += 2;
        }
    }
    return wav;
}

} // namespace kestrune::testsupport
