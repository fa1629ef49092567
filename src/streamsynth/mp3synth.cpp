#include "streamsynth/mp3synth.h"

#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace kestrune::testsupport {

namespace {

struct LameDeleter {
    void operator()(lame_global_flags *gf) const { lame_close(gf); }
};
using Lame = std::unique_ptr<lame_global_flags, LameDeleter>;

// Interleaved 16-bit PCM. In VBR mode one frame's worth of full-scale noise follows two of
// silence, over and over: a steady tone would get one bit rate throughout, while this makes
// the encoder switch between its lowest and highest rates. The encoder's delay smears each
// burst over two frames, so with a period of three no three neighbouring frames agree.
std::vector<short> makePcm(const Mp3Params &p, qsizetype frames) {
    const int channels = p.channels;
    std::vector<short> pcm(size_t(frames * channels));
    const double tau = 2 * std::numbers::pi;
    const double amplitude = 0.5 * 32767;
    // minstd_rand is the same generator in every library, so the noise never changes.
    std::minstd_rand noise(20240611u);
    const qsizetype burst = samplesPerFrame(p.sampleRate);
    for (qsizetype i = 0; i < frames; ++i) {
        const double t = double(i) / p.sampleRate;
        for (int c = 0; c < channels; ++c) {
            double v = 0;
            if (p.vbr) {
                if ((i / burst) % 3 == 1)
                    v = double(noise() % 65535u) - 32767;
            } else {
                // A tone with a few overtones falling off as 1/h^2: it still crosses zero
                // twice a period, but the encoder spends its bits on it the way it does on
                // music. A bare sine leaves the frames full of filler that looks like frame
                // headers (several per frame), which no real stream does.
                const double hz = c == 0 ? p.toneHz : p.toneHz * 1.5;
                for (int h = 1; h <= 6; ++h)
                    v += amplitude * std::sin(tau * hz * h * t) / (h * h);
            }
            pcm[size_t(i * channels + c)] = short(std::lround(v));
        }
    }
    return pcm;
}

} // namespace

QByteArray synthesizeMp3(const Mp3Params &params) {
    if (params.channels < 1 || params.channels > 2 || params.sampleRate <= 0 || params.seconds <= 0)
        return {};

    Lame gf(lame_init());
    if (!gf)
        return {};
    lame_set_in_samplerate(gf.get(), params.sampleRate);
    // Without this the encoder may resample to whatever rate it thinks suits the bit rate.
    lame_set_out_samplerate(gf.get(), params.sampleRate);
    lame_set_num_channels(gf.get(), params.channels);
    if (params.channels == 1)
        lame_set_mode(gf.get(), MONO);
    lame_set_quality(gf.get(), 7);
    if (params.vbr) {
        lame_set_VBR(gf.get(), vbr_default);
        lame_set_VBR_quality(gf.get(), 2);
    } else {
        lame_set_VBR(gf.get(), vbr_off);
        lame_set_brate(gf.get(), params.bitrateKbps);
    }
    // Callers want the first bytes to be a real audio frame: no info frame, no tags.
    lame_set_bWriteVbrTag(gf.get(), 0);
    lame_set_write_id3tag_automatic(gf.get(), 0);
    if (lame_init_params(gf.get()) < 0)
        return {};

    const auto frames = qsizetype(std::llround(params.seconds * params.sampleRate));
    std::vector<short> pcm = makePcm(params, frames);

    constexpr qsizetype Chunk = 4096;
    std::vector<unsigned char> out(size_t(Chunk + Chunk / 4 + 7200));
    QByteArray mp3;
    for (qsizetype done = 0; done < frames; done += Chunk) {
        const int n = int(std::min(Chunk, frames - done));
        short *src = pcm.data() + done * params.channels;
        const int written =
            params.channels == 2
                ? lame_encode_buffer_interleaved(gf.get(), src, n, out.data(), int(out.size()))
                : lame_encode_buffer(gf.get(), src, src, n, out.data(), int(out.size()));
        if (written < 0)
            return {};
        mp3.append(reinterpret_cast<const char *>(out.data()), written);
    }
    const int tail = lame_encode_flush(gf.get(), out.data(), int(out.size()));
    if (tail < 0)
        return {};
    mp3.append(reinterpret_cast<const char *>(out.data()), tail);
    return mp3;
}

int samplesPerFrame(int sampleRate) {
    return sampleRate >= 32000 ? 1152 : 576;
}

} // namespace kestrune::testsupport
