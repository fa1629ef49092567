// The sound-device module: Qt Multimedia's audio sink behind the plain function table of
// devicesinkapi.h. Loaded by the program only when it plays on a sound device.
#include "stream/audio/devicesinkapi.h"

#include <QAbstractEventDispatcher>
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QObject>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

Q_LOGGING_CATEGORY(lcDevice, "kestrune.output", QtInfoMsg)

// Our push timer is this long; Qt timers shorter than it on the sink are pointless.
constexpr int TickMs = 100;

// One open stream. The parent of the sink and of the backend Qt makes for it, so all go
// together, and a child of the output that opened it, so they go with it at the latest.
struct Sink : QObject {
    using QObject::QObject;
    QAudioSink *audio = nullptr;
    QIODevice *io = nullptr;
};

// Qt's PulseAudio sink starts its 20 ms pull timer in push mode as well, where it has
// nothing to do but wake the main thread fifty times a second. Its timer keeps its id (the
// sink stops it itself when it closes) but is given an interval that never comes round. Only
// timers shorter than our tick, of the sink's backend objects, are touched; a Qt without such
// a timer is left as it is.
void quietenPullTimer(const Sink &sink) {
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    constexpr qint64 Never = std::numeric_limits<int>::max(); // about 24 days
    const QObjectList candidates = sink.audio->children() + sink.children();
    for (QObject *backend : candidates) {
        if (!backend->inherits("QPlatformAudioSink"))
            continue;
        for (const auto &timer : dispatcher->registeredTimers(backend)) {
            if (timer.interval >= TickMs || !dispatcher->unregisterTimer(timer.timerId))
                continue;
            dispatcher->registerTimer(timer.timerId, Never, Qt::VeryCoarseTimer, backend);
        }
    }
}

bool hasDevice() {
    return !QMediaDevices::defaultAudioOutput().isNull();
}

std::size_t description(char *text, std::size_t size) {
    const QByteArray name = QMediaDevices::defaultAudioOutput().description().toUtf8();
    if (text && size > 0) {
        const std::size_t n = std::min(size - 1, std::size_t(name.size()));
        std::memcpy(text, name.constData(), n);
        text[n] = '\0';
    }
    return std::size_t(name.size());
}

void closeSink(void *handle) {
    auto *sink = static_cast<Sink *>(handle);
    if (!sink)
        return;
    QObject::disconnect(sink->audio, nullptr, sink, nullptr);
    sink->audio->stop();
    // Possibly called from the sink's own signal: it (and its backend) go once it returned.
    sink->deleteLater();
}

void *openSink(QObject *owner, int sampleRate, int channels, int bufferBytes,
               void (*failed)(void *), void *context) {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        qCInfo(lcDevice) << "no sound device";
        return nullptr;
    }
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);

    auto *sink = new Sink(owner);
    sink->audio = new QAudioSink(device, format, sink);
    sink->audio->setBufferSize(bufferBytes);
    sink->io = sink->audio->start();
    if (!sink->io || sink->audio->error() != QAudio::NoError ||
        sink->audio->state() == QAudio::StoppedState) {
        qCWarning(lcDevice) << "sound device" << device.description() << "did not start, error"
                            << sink->audio->error();
        closeSink(sink);
        return nullptr;
    }
    quietenPullTimer(*sink);
    QAudioSink *audio = sink->audio;
    QObject::connect(audio, &QAudioSink::stateChanged, sink,
                     [audio, failed, context](QAudio::State state) {
                         if (state != QAudio::StoppedState)
                             return;
                         // Stopped without a close: the device failed or went away.
                         qCWarning(lcDevice) << "sound device stopped, error" << audio->error();
                         if (failed)
                             failed(context);
                     });
    return sink;
}

std::int64_t bytesFree(void *handle) {
    return static_cast<Sink *>(handle)->audio->bytesFree();
}

std::int64_t bufferSize(void *handle) {
    return static_cast<Sink *>(handle)->audio->bufferSize();
}

std::int64_t write(void *handle, const char *data, std::int64_t bytes) {
    return static_cast<Sink *>(handle)->io->write(data, bytes);
}

const KestruneDeviceSinkApi Api{
    KestruneDeviceSinkApiVersion,
    hasDevice,
    description,
    openSink,
    bytesFree,
    bufferSize,
    write,
    closeSink,
};

} // namespace

extern "C" Q_DECL_EXPORT const KestruneDeviceSinkApi *kestrune_device_sink_api() {
    return &Api;
}
