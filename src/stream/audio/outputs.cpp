#include "stream/audio/outputs.h"

#include "stream/audio/devicesinkapi.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QLibrary>
#include <QLoggingCategory>
#include <QPointer>
#include <QtEndian>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace kestrune {

namespace {

Q_LOGGING_CATEGORY(lcOutput, "kestrune.output", QtInfoMsg)

void emitStoppedLater(AudioOutput *output) {
    // Queued so that whoever called Stop() (or whatever made the output stop) has returned
    // before listeners react; dropped if the output is deleted in between.
    QMetaObject::invokeMethod(
        output, [output] { Q_EMIT output->stopped(); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------
// Outputs paced by the wall clock instead of a sound card.

class PacedOutput : public AudioOutput {
public:
    explicit PacedOutput(QObject *parent)
        : AudioOutput(parent) {
        // The amounts come from the clock, not from counting ticks, so a tick a few
        // milliseconds off costs nothing; a coarse timer lets the system group wake-ups.
        m_timer.setTimerType(Qt::CoarseTimer);
        m_timer.setInterval(TickMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { pump(); });
    }

    bool Start(PcmSource *source) override {
        if (IsRunning())
            Stop();
        if (!source || !openSink())
            return false;
        ++m_run;
        m_source = source;
        m_framesTaken = 0;
        m_clock.start();
        m_timer.start();
        // The first sound goes out now, not a tick later.
        QTimer::singleShot(0, this, [this] { pump(); });
        return true;
    }

    void Stop() override {
        if (!IsRunning())
            return;
        ++m_run;
        m_timer.stop();
        m_source = nullptr;
        closeSink();
        emitStoppedLater(this);
    }

    int State() const override { return m_source ? StateRunning : 0; }

protected:
    // Prepares whatever the PCM goes to; false stops Start().
    virtual bool openSink() { return true; }
    virtual void consume(const char *data, qint64 bytes) {
        Q_UNUSED(data);
        Q_UNUSED(bytes);
    }
    // Called after each timer tick's PCM has been taken.
    virtual void afterTick() {}
    virtual void closeSink() {}

private:
    // Ten wake-ups a second; each moves a tick's sound (about 17 KiB) in one or two reads.
    static constexpr int TickMs = 100;
    // Like a sound device's buffer, the output takes one tick ahead of the clock: the first
    // sound goes out at the start, not a tick later, and a late tick never leaves a gap.
    static constexpr qint64 LeadFrames = PcmSampleRate * TickMs / 1000;
    // After an underrun at most this much of the lost time is made up (the rest was
    // "played" as silence): a device buffer's worth, plus room for a tick that comes late.
    static constexpr qint64 MaxBacklogFrames = PcmSampleRate * 3 / 20;
    static constexpr qint64 ChunkBytes = 32 * 1024;

    void pump() {
        if (!m_source)
            return; // a tick queued before a stop
        // Split to keep ns * rate inside 64 bits however long the output runs.
        const qint64 ns = m_clock.nsecsElapsed();
        constexpr qint64 NsPerSecond = 1'000'000'000;
        const qint64 due = ns / NsPerSecond * PcmSampleRate +
                           ns % NsPerSecond * PcmSampleRate / NsPerSecond + LeadFrames;
        m_framesTaken = std::max(m_framesTaken, due - MaxBacklogFrames);

        const quint64 run = m_run;
        while (run == m_run && m_framesTaken < due) {
            const qint64 want =
                std::min((due - m_framesTaken) * PcmBytesPerFrame, qint64(m_chunk.size()));
            qint64 got = std::min(m_source->readPcm(m_chunk.data(), want), want);
            // Stopped (or stopped and started again) from inside the read: what was read
            // belongs to a run that is over. The chunk is our own, so nothing was freed.
            if (run != m_run)
                return;
            got -= got % PcmBytesPerFrame;
            if (got <= 0)
                break; // underrun: this tick plays silence
            m_framesTaken += got / PcmBytesPerFrame;
            consume(m_chunk.data(), got);
            // Listeners may stop the output from here; the loop condition notices.
            notePlayed(m_chunk.data(), got);
        }
        if (run == m_run)
            afterTick();
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    quint64 m_run = 0; // counts starts and stops
    PcmSource *m_source = nullptr;
    qint64 m_framesTaken = 0;
    std::array<char, ChunkBytes> m_chunk{};
};

class NullOutput final : public PacedOutput {
public:
    using PacedOutput::PacedOutput;
    QString description() const override { return QStringLiteral("null"); }
};

class WavFileOutput final : public PacedOutput {
public:
    WavFileOutput(const QString &path, QObject *parent)
        : PacedOutput(parent)
        , m_file(path) {}

    ~WavFileOutput() override { finishFile(); }

    QString description() const override { return QStringLiteral("wav:") + m_file.fileName(); }

protected:
    bool openSink() override {
        // One file per output: the first start begins it, later starts (a resync, the next
        // station) add to it, so nothing captured before a restart is lost.
        const bool first = !m_begun;
        const QIODevice::OpenMode mode =
            first ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::ReadWrite;
        if (!m_file.open(mode)) {
            qCWarning(lcOutput) << "cannot write" << m_file.fileName() << m_file.errorString();
            return false;
        }
        if (first)
            m_dataBytes = 0;
        // The data goes on where the last good write ended, so a failed write is tried again.
        m_writeFailed = false;
        if (!writeHeader() || !m_file.seek(HeaderBytes + m_dataBytes)) {
            m_file.close();
            return false;
        }
        m_begun = true;
        m_sinceHeader.start();
        return true;
    }

    void consume(const char *data, qint64 bytes) override {
        // The header's 32-bit sizes end the file at 4 GiB (about 6.7 hours); the output
        // keeps its pace past that but writes no more.
        bytes = std::min(bytes, MaxDataBytes - m_dataBytes);
        if (bytes <= 0 || m_writeFailed)
            return;
        const qint64 written = m_file.write(data, bytes);
        if (written > 0)
            m_dataBytes += written;
        if (written != bytes) {
            qCWarning(lcOutput) << "writing" << m_file.fileName()
                                << "failed:" << m_file.errorString();
            m_writeFailed = true;
        }
    }

    void afterTick() override {
        // Keeps the file playable, with at most a second missing, if the program dies.
        if (m_sinceHeader.elapsed() < HeaderUpdateMs)
            return;
        m_sinceHeader.restart();
        writeHeader();
        m_file.flush();
    }

    void closeSink() override { finishFile(); }

private:
    static constexpr int HeaderBytes = 44;
    static constexpr qint64 MaxDataBytes =
        (qint64(0xFFFFFFFF) - (HeaderBytes - 8)) / PcmBytesPerFrame * PcmBytesPerFrame;
    static constexpr int HeaderUpdateMs = 1000;

    void finishFile() {
        if (!m_file.isOpen())
            return;
        writeHeader();
        m_file.close();
    }

    bool writeHeader() {
        std::array<char, HeaderBytes> h{};
        auto put = [&h](int at, const char *tag) { std::copy_n(tag, 4, h.begin() + at); };
        auto put32 = [&h](int at, quint32 v) { qToLittleEndian(v, h.data() + at); };
        auto put16 = [&h](int at, quint16 v) { qToLittleEndian(v, h.data() + at); };
        const auto data = quint32(m_dataBytes);
        put(0, "RIFF");
        put32(4, data + HeaderBytes - 8);
        put(8, "WAVE");
        put(12, "fmt ");
        put32(16, 16); // fmt chunk size
        put16(20, 1);  // integer PCM
        put16(22, PcmChannels);
        put32(24, PcmSampleRate);
        put32(28, PcmSampleRate * PcmBytesPerFrame); // bytes per second
        put16(32, PcmBytesPerFrame);                 // block align
        put16(34, 16);                               // bits per sample
        put(36, "data");
        put32(40, data);

        const qint64 end = m_file.pos();
        const bool ok = m_file.seek(0) && m_file.write(h.data(), HeaderBytes) == HeaderBytes &&
                        m_file.seek(std::max<qint64>(end, HeaderBytes));
        if (!ok)
            qCWarning(lcOutput) << "cannot write the header of" << m_file.fileName();
        return ok;
    }

    QFile m_file;
    bool m_begun = false;   // the file has been started (truncated) once
    qint64 m_dataBytes = 0; // over all starts
    bool m_writeFailed = false;
    QElapsedTimer m_sinceHeader;
};

// ---------------------------------------------------------------------------------------
// The sound device.

// The sound-device module, loaded the first time a sound device is asked for: the sound
// server's client library (and the libraries it brings) stays out of programs that never
// play on one.
const KestruneDeviceSinkApi *deviceApi() {
    static const KestruneDeviceSinkApi *const api = []() -> const KestruneDeviceSinkApi * {
        QStringList paths;
        if (QCoreApplication::instance())
            paths << QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../" KESTRUNE_DEVICE_MODULE_INSTALL_PATH);
        paths << QStringLiteral(KESTRUNE_DEVICE_MODULE_BUILD_PATH);
        for (const QString &path : std::as_const(paths)) {
            if (!QFile::exists(path))
                continue;
            QLibrary module(path);
            const auto entry = reinterpret_cast<KestruneDeviceSinkEntryFunction>(
                module.resolve(KestruneDeviceSinkEntry));
            if (!entry) {
                qCWarning(lcOutput) << "cannot load" << path << module.errorString();
                continue;
            }
            const KestruneDeviceSinkApi *found = entry();
            if (found && found->version == KestruneDeviceSinkApiVersion)
                return found;
        }
        qCWarning(lcOutput) << "the sound device module is missing; looked for" << paths;
        return nullptr;
    }();
    return api;
}

class DeviceOutput final : public AudioOutput {
public:
    explicit DeviceOutput(QObject *parent)
        : AudioOutput(parent) {
        // The sink is fed on our own timer (push), not woken by every request of the sound
        // server: each tick tops the device's buffer up with what it has room for. The
        // buffer holds two and a half ticks, so a late tick never leaves the device dry.
        m_timer.setTimerType(Qt::CoarseTimer);
        m_timer.setInterval(TickMs);
        connect(&m_timer, &QTimer::timeout, this, [this] { push(); });
    }

    ~DeviceOutput() override {
        // Deleting a sink lets the audio layer run pending events; none of ours (a queued
        // stopped(), a deferred retirement) may reach an output that is half gone. The open
        // and the retired streams are our children.
        m_timer.stop();
        QCoreApplication::removePostedEvents(this);
        m_source = nullptr;
        m_sink = nullptr;
        const QObjectList streams = children();
        for (const QPointer<QObject> stream : streams) {
            if (!stream)
                continue; // went while an earlier one was being deleted
            for (QObject *part : stream->findChildren<QObject *>())
                QCoreApplication::removePostedEvents(part);
            QCoreApplication::removePostedEvents(stream);
            delete stream.data();
        }
    }

    bool Start(PcmSource *source) override {
        if (IsRunning())
            Stop();
        if (!source)
            return false;
        const KestruneDeviceSinkApi *api = deviceApi();
        if (!api)
            return false;
        void *sink =
            api->open(this, PcmSampleRate, PcmChannels, BufferBytes, &DeviceOutput::failed, this);
        if (!sink)
            return false;
        ++m_run;
        m_api = api;
        m_sink = sink;
        m_source = source;
        m_pending.clear();
        m_timer.start();
        // The first sound goes out now: the buffer is filled at once, not a tick later. A
        // start from inside a push (the source starting us again) waits until that push is
        // over: it is still writing into the chunk.
        if (m_pushDepth == 0)
            push();
        else
            QMetaObject::invokeMethod(
                this,
                [this, run = m_run] {
                    if (run == m_run)
                        push();
                },
                Qt::QueuedConnection);
        return true;
    }

    void Stop() override {
        if (!IsRunning())
            return;
        halt();
        emitStoppedLater(this);
    }

    int State() const override { return m_sink ? StateRunning : 0; }

    qint64 bufferedBytes() const override {
        if (!m_sink)
            return 0;
        const qint64 size = m_api->bufferSize(m_sink);
        return std::clamp<qint64>(size - m_api->bytesFree(m_sink), 0, size);
    }

    QString description() const override {
        const KestruneDeviceSinkApi *api = deviceApi();
        if (!api)
            return QStringLiteral("device");
        QByteArray name(256, '\0');
        const std::size_t needed = api->description(name.data(), std::size_t(name.size()));
        name.truncate(qsizetype(std::min(needed, std::size_t(name.size() - 1))));
        return name.isEmpty() ? QStringLiteral("device") : QString::fromUtf8(name);
    }

private:
    static constexpr int TickMs = 100;
    // Short enough that played() (meters, spectrum) stays close to what is heard, long
    // enough to ride out a busy GUI thread: 250 ms.
    static constexpr int BufferBytes = PcmSampleRate * PcmBytesPerFrame / 4;

    // The device stopped by itself (failed or went away); called from its own signal.
    static void failed(void *context) {
        auto *self = static_cast<DeviceOutput *>(context);
        self->halt();
        emitStoppedLater(self);
    }

    void halt() {
        ++m_run;
        m_timer.stop();
        m_source = nullptr;
        m_pending.clear();
        if (void *sink = std::exchange(m_sink, nullptr))
            m_api->close(sink);
    }

    // Tops the device's buffer up: what the source has, then silence. Leaving the device
    // short would make it run dry between ticks; the source running dry is the intake's to
    // notice, not the device's. played() reports only what the sink took.
    void push() {
        void *sink = m_sink;
        if (!sink || !m_source)
            return;
        qint64 room = m_api->bytesFree(sink);
        room -= room % PcmBytesPerFrame;
        if (room <= 0)
            return;
        const quint64 run = m_run;
        // What the sink did not take last time goes first, so nothing is skipped or doubled.
        const qint64 carried = std::min<qint64>(m_pending.size(), room);
        m_chunk.resize(room);
        std::memcpy(m_chunk.data(), m_pending.constData(), size_t(carried));
        m_pending.remove(0, carried);
        qint64 fresh = 0;
        if (m_pending.isEmpty() && room > carried) {
            ++m_pushDepth;
            fresh = std::clamp<qint64>(m_source->readPcm(m_chunk.data() + carried, room - carried),
                                       0, room - carried);
            --m_pushDepth;
            // Stopped (or stopped and started again) from inside the read: what was read
            // belongs to a run that is over.
            if (run != m_run)
                return;
            fresh -= fresh % PcmBytesPerFrame;
        }
        const qint64 sound = carried + fresh;
        std::memset(m_chunk.data() + sound, 0, size_t(room - sound));
        const qint64 taken =
            std::clamp<qint64>(m_api->write(sink, m_chunk.constData(), room), 0, room);
        if (taken < sound)
            m_pending.prepend(m_chunk.constData() + taken, sound - taken);
        ++m_pushDepth;
        notePlayed(m_chunk.constData(), std::min(taken, sound));
        --m_pushDepth;
    }

    QTimer m_timer;
    quint64 m_run = 0; // counts starts and stops
    const KestruneDeviceSinkApi *m_api = nullptr;
    PcmSource *m_source = nullptr;
    void *m_sink = nullptr; // the module's open stream
    QByteArray m_chunk;     // one tick's PCM, reused
    QByteArray m_pending;   // sound read but not yet taken by the sink
    int m_pushDepth = 0;    // reads from the source and played() calls under way
};

} // namespace

std::unique_ptr<AudioOutput> createAudioOutput(const QString &choice) {
    const QString kind = choice.isEmpty() ? qEnvironmentVariable("KESTRUNE_AUDIO") : choice;
    if (kind.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0)
        return createNullOutput();
    if (kind.startsWith(QLatin1String("wav:"), Qt::CaseInsensitive))
        return createWavFileOutput(kind.mid(4));
    return createDeviceOutput();
}

std::unique_ptr<AudioOutput> createDeviceOutput() {
    return std::make_unique<DeviceOutput>(nullptr);
}

bool soundDeviceAvailable() {
    const KestruneDeviceSinkApi *api = deviceApi();
    return api && api->hasDevice();
}

std::unique_ptr<AudioOutput> createNullOutput() {
    return std::make_unique<NullOutput>(nullptr);
}

std::unique_ptr<AudioOutput> createWavFileOutput(const QString &path) {
    return std::make_unique<WavFileOutput>(path, nullptr);
}

} // namespace kestrune
