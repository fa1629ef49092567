// The library window's player: one recording at a time from disk, decoded with libmpg123 and
// played through the same outputs as the stream engine (the sound device, or the null and WAV
// outputs that KESTRUNE_AUDIO asks for). Buttons only ask it; its events say what happened.
#pragma once

#include "stream/audiooutput.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace kestrune {

class LibraryPlayer : public QObject {
    Q_OBJECT
public:
    // Bits of state(); both are set while paused.
    static constexpr int StatePlaying = 4; // playback in progress (also while paused)
    static constexpr int StatePaused = 8;  // paused

    // Plays through createAudioOutput() (KESTRUNE_AUDIO, or the sound device).
    explicit LibraryPlayer(QObject *parent = nullptr);
    // Plays through `output` (tests, tools). Never null.
    explicit LibraryPlayer(std::unique_ptr<AudioOutput> output, QObject *parent = nullptr);
    ~LibraryPlayer() override;

    // The file the player holds; empty when none.
    QString fileName() const;
    // Stops (emitting stopped() if it played), releases the old file, then opens `path` and
    // reads its length. False, with no file held, when it is empty or cannot be decoded.
    bool setFileName(const QString &path);
    // Stops and releases the file (fileName() becomes empty); the file is no longer open.
    void close();

    qint64 length() const;   // ms, 0 without a file
    qint64 position() const; // ms of the sound handed to the output so far
    int state() const;       // StatePlaying | StatePaused bits

    // Moves the play position (mpg123_seek). Playing goes on from there; a stopped player
    // starts there at the next Play(). Clamped to 0..length().
    void setPosition(qint64 ms);

    // Starts playback at position(). Emits started(). False (and nothing happens) without a
    // file or when the output cannot start.
    bool Play();
    // Stop, the end of the file and a new file put the position back to 0; Play while paused
    // goes on from the paused position.
    void Stop();   // emits stopped() if it played
    void Pause();  // emits paused() if it played and was not paused
    void Resume(); // emits resumed() if paused

Q_SIGNALS:
    void started();
    // Also at the end of the file, and when setFileName() or close() ends playback.
    void stopped();
    void paused();
    void resumed();
    // Each piece of PCM as the output takes it (44,100 Hz, 16-bit, stereo): the level meters.
    void played(const QByteArray &pcm);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kestrune
