// Everything that turns a stream address into sound, owned in one place: the stream client,
// the ring, the intake, the decoder chain and the audio output. Windows and tools wire its
// signals; the connection manager drives it.
#pragma once

#include "stream/audio/decoderchain.h"
#include "stream/audiooutput.h"
#include "stream/httpstream.h"
#include "stream/intake.h"
#include "stream/playerstatus.h"
#include "stream/ringbuffer.h"
#include "stream/sampleratetable.h"

#include <QObject>

#include <memory>

namespace kestrune {

class StreamEngine : public QObject {
    Q_OBJECT
public:
    // `output` null: the one KESTRUNE_AUDIO asks for, else the sound device.
    explicit StreamEngine(std::unique_ptr<AudioOutput> output = nullptr, QObject *parent = nullptr);
    ~StreamEngine() override;

    HTTPStream &client() { return m_client; }
    RingBuffer &ring() { return m_ring; }
    StreamIntake &intake() { return *m_intake; }
    DecoderChain &decoder() { return m_decoder; }
    AudioOutput &output() { return *m_output; }
    SampleRateTable &sampleRates() { return m_sampleRates; }
    // The player's phase and its texts (status panel 1, the grid caption).
    PlayerStatus &status() { return m_status; }

    // Stops the connection and the sound: the client stops, playback is no longer started,
    // the output stops and the ring is closed.
    void stopPlayback();
    // Gives the ring its 409,600 bytes in blocks of its block size, and opens it.
    void openRing();
    // Starts the given address from scratch: stop, fresh intake, ring, connect directly.
    void play(const QString &url);

    // The socket's receive low-water mark while a stream of this bit rate (bit/s) plays.
    static int ReceiveLowWater(qint32 bitRate);

private:
    SampleRateTable m_sampleRates;
    PlayerStatus m_status;
    RingBuffer m_ring;
    HTTPStream m_client;
    std::unique_ptr<AudioOutput> m_output;
    DecoderChain m_decoder;
    std::unique_ptr<StreamIntake> m_intake;
};

} // namespace kestrune
