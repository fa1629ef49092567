#include "stream/engine.h"

#include "stream/audio/outputs.h"

#include <algorithm>

namespace kestrune {

StreamEngine::StreamEngine(std::unique_ptr<AudioOutput> output, QObject *parent)
    : QObject(parent)
    , m_output(output ? std::move(output) : createAudioOutput())
    , m_decoder([this](char *buffer, qsizetype size, bool &more) {
        return m_intake->BufferRequest(buffer, size, more);
    }) {
    m_sampleRates.Fill();
    m_intake = std::make_unique<StreamIntake>(
        m_ring, *m_output, m_decoder, m_status, m_sampleRates,
        [this](const QByteArray &format) { m_decoder.SetInputFormat(format); });
    connect(&m_client, &HTTPStream::Streaming, m_intake.get(), &StreamIntake::Streaming);
    connect(m_output.get(), &AudioOutput::stopped, m_intake.get(), &StreamIntake::OutputStopped);
    // The socket is read only as fast as the ring drains; a server faster than real time
    // waits in TCP instead of overflowing the ring. The wake-up comes from inside the
    // output's read, so it is handled once that read is over.
    m_client.setReadAllowance([this] { return m_intake->ReadAllowance(); });
    connect(m_intake.get(), &StreamIntake::readRoom, &m_client, &HTTPStream::resumeReading,
            Qt::QueuedConnection);
    // Once it plays, one wake-up per segment is wasted: the stream is read in pieces of a
    // fraction of a second. Once the ring has run dry every byte counts again: a stream that
    // stalled would otherwise keep its last fraction of a second in the socket, unread and
    // unrecorded.
    connect(&m_status, &PlayerStatus::phaseChanged, this, [this](PlayerPhase phase) {
        if (phase == PlayerPhase::Playing)
            m_client.setReceiveLowWater(ReceiveLowWater(m_intake->format().bitRate));
        else if (phase == PlayerPhase::Resyncing)
            m_client.setReceiveLowWater(1);
    });
}

int StreamEngine::ReceiveLowWater(qint32 bitRate) {
    // A third of a second of stream: the ring holds many seconds, so the wait costs nothing,
    // and the output's ticks are shorter still. Capped so a high rate still reads often.
    constexpr int MaxBytes = 16 * 1024;
    if (bitRate <= 0)
        return 1;
    return int(std::clamp<qint64>(qint64(bitRate) / 8 / 3, 1, MaxBytes));
}

StreamEngine::~StreamEngine() {
    // The output may still be pulling through the intake; stop it before either goes.
    m_output->Stop();
    disconnect(m_output.get(), nullptr, m_intake.get(), nullptr);
}

void StreamEngine::stopPlayback() {
    m_client.StopStreaming();
    m_intake->markPlaybackNotStarted();
    m_output->Stop();
    m_ring.Close();
}

void StreamEngine::openRing() {
    m_ring.SetNumBuffers(StreamIntake::RingCapacity / m_ring.BufferSize());
    m_ring.Open();
}

void StreamEngine::play(const QString &url) {
    stopPlayback();
    m_client.setUrl(url);
    m_intake->ResetForConnection();
    m_client.setUseProxy(false);
    openRing();
    m_client.StartStreaming();
}

} // namespace kestrune
