// The intake as the engine runs it: the engine's own ring, decoder chain and null output, fed
// an arbitrary stream in arbitrary read sizes. The input holds both: bytes from its end say
// how much each read takes and whether a tick of playing time, or a stall that runs the ring
// dry, follows it; the rest is the stream in order. Reads never exceed what the intake
// allows, as with the stream client, and a stop the intake asks for ends the connection, as
// the connection manager does.
#include "fuzzsupport.h"
#include "stream/audio/outputs.h"
#include "stream/engine.h"

#include <QCoreApplication>

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>

using namespace kestrune;

namespace {

// One tick of the null output: a tenth of a second of PCM.
constexpr qint64 TickBytes = PcmSampleRate / 10 * PcmBytesPerFrame;
// Bounds each execution: a long stream of tiny reads is cut here.
constexpr int MaxReads = 4096;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    // Queued stops and the output's first pump need an event loop to go through.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    // One engine for every input, as the program has one for all its connections: a new
    // engine's ring, head and output buffers cost more than most inputs. Each input starts
    // as a new connection does, with the decoder's leftovers dropped as well: what an input
    // does depends on it alone (only the player's status text is left from the one before).
    static StreamEngine engine(createNullOutput());
    StreamIntake &intake = engine.intake();
    static bool stopped = false;
    static const bool connected = QObject::connect(&intake, &StreamIntake::stopRequested, [] {
        engine.stopPlayback();
        stopped = true;
    });
    Q_UNUSED(connected);
    stopped = false;
    engine.decoder().Reset();
    intake.ResetForConnection();
    // An open ring of the engine's size is emptied in place; giving it its size again would
    // allocate it anew.
    if (engine.ring().IsOpen())
        engine.ring().Open();
    else
        engine.openRing();

    static std::array<char, TickBytes> pcm;
    // Twice: a stop queued while events are handled is handled in the next round, and the
    // output's stopped notice follows the stop.
    auto handleEvents = [] {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    };
    auto passTick = [&] {
        if (engine.output().IsRunning())
            engine.decoder().readPcm(pcm.data(), TickBytes);
        handleEvents();
    };

    // A long stall of the server: the decoder takes what the ring holds, buffer request by
    // buffer request, until it runs dry (without decoding it, which would cost seconds of
    // sound per execution) and the intake sets out to find the frames again.
    static std::array<char, DecoderChain::InputBufferSize> compressed;
    auto drain = [&] {
        for (qsizetype i = 0; i <= engine.ring().NumBuffers() && engine.output().IsRunning(); ++i) {
            bool more = true;
            intake.BufferRequest(compressed.data(), compressed.size(), more);
            if (!more)
                break;
        }
        handleEvents();
    };

    for (int reads = 0; reads < MaxReads && !stopped && input.remaining_bytes() > 0; ++reads) {
        const auto step = input.ConsumeIntegral<uint16_t>();
        const qint64 allowance = intake.ReadAllowance();
        if (allowance == 0) {
            // A held-back reader waits for the output to drain the ring.
            passTick();
            continue;
        }
        const size_t want = qMin<qint64>(qint64(step & 0x3FFF) + 1, allowance);
        const std::string bytes = input.ConsumeBytesAsString(want);
        if (bytes.empty())
            break;
        const QByteArray block = QByteArray::fromStdString(bytes);
        intake.Streaming(block, qint32(block.size()));
        fuzz::check(engine.ring().BytesHeld() <= engine.ring().Capacity(),
                    "the ring never holds more than its capacity");
        if (step & 0x8000)
            passTick();
        if (step & 0x4000)
            drain();
    }
    // The stream ends: a few ticks play, then the decoder takes the rest.
    for (int tick = 0; tick < 4 && !stopped; ++tick)
        passTick();
    if (!stopped)
        drain();
    // Stopped as a switch to another station stops it; the ring stays for the next input.
    engine.output().Stop();
    intake.markPlaybackNotStarted();
    handleEvents();
    return 0;
}
