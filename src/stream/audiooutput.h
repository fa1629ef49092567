// An audio output: once started it pulls PCM from a PcmSource at the pace it plays. The
// implementations (sound device, null, WAV file) are in stream/audio/outputs.h.
#pragma once

#include "stream/pcmsource.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kestrune {

class AudioOutput : public QObject {
    Q_OBJECT
public:
    // Bits of State().
    static constexpr int StateRunning = 2;

    using QObject::QObject;
    ~AudioOutput() override = default;

    // Starts pulling from `source`. False when the output cannot start (no sound device, a
    // file that cannot be written); then nothing runs.
    virtual bool Start(PcmSource *source) = 0;
    // Stops pulling. Emits stopped() afterwards (queued) if it was running.
    virtual void Stop() = 0;
    virtual int State() const = 0;
    bool IsRunning() const { return (State() & StateRunning) != 0; }

    // PCM bytes taken from the source since the output was made.
    qint64 bytesPlayed() const { return m_bytesPlayed; }
    // PCM bytes taken from the source that are still on their way to the speaker (a sound
    // device's buffer); 0 for outputs that play what they take at once.
    virtual qint64 bufferedBytes() const { return 0; }

    // A short description for diagnosis ("null", "wav:/tmp/x.wav", the device's name).
    virtual QString description() const = 0;

Q_SIGNALS:
    void stopped();
    // Each piece of PCM as it is taken from the source (for meters and the spectrum).
    void played(const QByteArray &pcm);

protected:
    void notePlayed(const char *data, qint64 bytes);

private:
    qint64 m_bytesPlayed = 0;
};

} // namespace kestrune
