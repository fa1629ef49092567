#include "stream/engine.h"

#include "stream/audio/outputs.h"

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
