#include "library/libraryplayer.h"

#include "library/mpegfile.h"
#include "stream/audio/outputs.h"
#include "stream/pcmsource.h"

#include <QMetaObject>
#include <QTimer>

#include <mpg123.h>

#include <algorithm>

namespace kestrune {

namespace {

// Reads in a row that fail without sound before the file counts as ended: a file broken past
// repair must not keep the output asking forever.
constexpr int MaxErrorsPerRead = 8;

// The longest a device's buffer is waited for at the end of a file, ms.
constexpr qint64 MaxDrainMs = 2000;

qint64 samplesToMs(qint64 samples) {
    return samples * 1000 / PcmSampleRate;
}

qint64 msToSamples(qint64 ms) {
    return ms * PcmSampleRate / 1000;
}

} // namespace

struct LibraryPlayer::Private final : PcmSource {
    explicit Private(LibraryPlayer *owner)
        : q(owner) {}

    LibraryPlayer *q;
    MpegFile file{MpegFile::Use::Playback};
    QString fileName;
    qint64 lengthSamples = 0;   // at the output rate
    qint64 positionSamples = 0; // handed to the output, at the output rate
    int state = 0;
    bool decoderDone = false; // the decoder has given the file's last sound
    bool endReported = false; // the output has asked for more after the last sound
    quint64 run = 0;          // counts starts, stops and seeks: an old end report is dropped
    // Declared last so it goes first: it reads from this object while it runs.
    std::unique_ptr<AudioOutput> output;

    bool playing() const { return (state & StatePlaying) != 0; }
    bool paused() const { return (state & StatePaused) != 0; }

    qint64 readPcm(char *data, qint64 maxBytes) override {
        maxBytes -= maxBytes % PcmBytesPerFrame;
        if (!file.isOpen() || maxBytes <= 0)
            return 0;
        qint64 got = 0;
        int errors = 0;
        while (!decoderDone && got < maxBytes) {
            size_t done = 0;
            const int rc = mpg123_read(file.handle(), data + got, size_t(maxBytes - got), &done);
            got += qint64(done);
            if (rc == MPG123_OK || rc == MPG123_NEW_FORMAT)
                continue;
            if (rc == MPG123_DONE || (done == 0 && ++errors >= MaxErrorsPerRead))
                decoderDone = true;
        }
        got -= got % PcmBytesPerFrame;
        positionSamples += got / PcmBytesPerFrame;
        // The end is reported when the output asks and nothing is left, so the last piece
        // has been taken; never from inside the output's read.
        if (got == 0 && decoderDone && !endReported) {
            endReported = true;
            const quint64 endedRun = run;
            QMetaObject::invokeMethod(
                q, [this, endedRun] { finishWhenHeard(endedRun); }, Qt::QueuedConnection);
        }
        return got;
    }

    // The file's last sound may still sit in the device's buffer: stop once it has been
    // heard, not when it was handed over, or every recording would lose its last moment.
    void finishWhenHeard(quint64 endedRun) {
        if (endedRun != run || !playing())
            return;
        const qint64 pendingMs = std::min<qint64>(
            output->bufferedBytes() * 1000 / (PcmSampleRate * PcmBytesPerFrame), MaxDrainMs);
        QTimer::singleShot(pendingMs, q, [this, endedRun] {
            if (endedRun == run && playing())
                stopPlayback(true);
        });
    }

    // Sound handed to the output but not heard yet, in samples.
    qint64 bufferedSamples() const {
        return output->IsRunning() ? output->bufferedBytes() / PcmBytesPerFrame : 0;
    }

    void seekSamples(qint64 samples) {
        ++run;
        decoderDone = false;
        endReported = false;
        if (!file.isOpen())
            return;
        const off_t at = mpg123_seek(file.handle(), off_t(samples), SEEK_SET);
        positionSamples = at >= 0 ? qint64(at) : positionSamples;
    }

    // Stop, the end of the file and a new file all leave the position at the start.
    void stopPlayback(bool announce) {
        const bool wasPlaying = playing();
        state = 0;
        ++run;
        output->Stop();
        seekSamples(0);
        if (wasPlaying && announce)
            Q_EMIT q->stopped();
    }

    void release() {
        file.close();
        fileName.clear();
        lengthSamples = 0;
        positionSamples = 0;
        decoderDone = false;
        endReported = false;
    }
};

LibraryPlayer::LibraryPlayer(QObject *parent)
    : LibraryPlayer(createAudioOutput(), parent) {}

LibraryPlayer::LibraryPlayer(std::unique_ptr<AudioOutput> output, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this)) {
    d->output = output ? std::move(output) : createAudioOutput();
    connect(d->output.get(), &AudioOutput::played, this, &LibraryPlayer::played);
    connect(d->output.get(), &AudioOutput::stopped, this, [this] {
        // Our own stops (Stop, Pause) are known already; an output that stops by itself while
        // it should play (the sound device went away) ends playback.
        if (!d->output->IsRunning() && d->playing() && !d->paused())
            d->stopPlayback(true);
    });
}

LibraryPlayer::~LibraryPlayer() {
    d->output->Stop();
    d->release();
}

QString LibraryPlayer::fileName() const {
    return d->fileName;
}

bool LibraryPlayer::setFileName(const QString &path) {
    d->stopPlayback(true);
    d->release();
    if (path.isEmpty() || !d->file.open(path))
        return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    // A file without a single MPEG audio frame is no recording the player can play.
    if (mpg123_getformat(d->file.handle(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0) {
        d->release();
        return false;
    }
    d->fileName = path;
    d->lengthSamples = std::max<qint64>(0, qint64(mpg123_length(d->file.handle())));
    d->positionSamples = 0;
    return true;
}

void LibraryPlayer::close() {
    d->stopPlayback(true);
    d->release();
}

qint64 LibraryPlayer::length() const {
    return samplesToMs(d->lengthSamples);
}

qint64 LibraryPlayer::position() const {
    return samplesToMs(std::max<qint64>(0, d->positionSamples - d->bufferedSamples()));
}

int LibraryPlayer::state() const {
    return d->state;
}

void LibraryPlayer::setPosition(qint64 ms) {
    if (!d->file.isOpen())
        return;
    d->seekSamples(msToSamples(std::clamp<qint64>(ms, 0, length())));
}

bool LibraryPlayer::Play() {
    if (!d->file.isOpen())
        return false;
    if (d->playing() && !d->paused())
        return true;
    ++d->run;
    if (!d->output->Start(d.get()))
        return false;
    d->state = StatePlaying;
    Q_EMIT started();
    return true;
}

void LibraryPlayer::Stop() {
    d->stopPlayback(true);
}

void LibraryPlayer::Pause() {
    if (!d->playing() || d->paused())
        return;
    // The outputs have no pause of their own: stopping takes no more sound, so the position
    // holds, and the next start goes on from there.
    // What the device holds is dropped with it: go on later from what was heard.
    const qint64 heard = std::max<qint64>(0, d->positionSamples - d->bufferedSamples());
    d->state |= StatePaused;
    d->output->Stop();
    d->seekSamples(heard);
    Q_EMIT paused();
}

void LibraryPlayer::Resume() {
    if (!d->paused())
        return;
    ++d->run;
    if (!d->output->Start(d.get())) {
        d->stopPlayback(true);
        return;
    }
    d->state &= ~StatePaused;
    Q_EMIT resumed();
}

} // namespace kestrune
