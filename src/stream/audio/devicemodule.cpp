// The sound-device module: a PulseAudio playback stream behind the plain function table of
// devicesinkapi.h. Loaded by the program only when it plays on a sound device.
//
// Each open stream has its own connection and its own PulseAudio thread, and nothing of it is
// global: closing a stream ends all of it then and there, so nothing of the sound system is
// left to tear down while the program exits.
#include "stream/audio/devicesinkapi.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QObject>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcDevice, "kestrune.output", QtInfoMsg)

// A connection to the sound server with the thread that runs it. Every call into it from
// outside that thread holds its lock.
class Connection {
public:
    Connection() = default;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    ~Connection() { close(); }

    // Disconnects; the thread has ended when this returns.
    void close() {
        if (!m_loop.loop)
            return;
        m_loop.lock();
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
        m_loop.unlock();
        pa_threaded_mainloop_stop(m_loop.loop);
        pa_threaded_mainloop_free(std::exchange(m_loop.loop, nullptr));
    }

    // Connects and waits until the server has answered. On failure, says why in the log.
    bool open(pa_context_notify_cb_t stateChanged = nullptr, void *userdata = nullptr) {
        m_loop.loop = pa_threaded_mainloop_new();
        if (!m_loop.loop)
            return false;
        pa_proplist *properties = pa_proplist_new();
        const QByteArray name = QCoreApplication::applicationName().toUtf8();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME,
                         name.isEmpty() ? "Kestrune" : name.constData());
        pa_proplist_sets(properties, PA_PROP_APPLICATION_ICON_NAME, "kestrune");
        m_context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(m_loop.loop), nullptr,
                                                 properties);
        pa_proplist_free(properties);
        if (!m_context)
            return false;
        m_stateChanged = stateChanged;
        m_userdata = userdata;
        pa_context_set_state_callback(m_context, &Connection::contextState, this);
        if (pa_threaded_mainloop_start(m_loop.loop) < 0)
            return false;
        m_loop.lock();
        // The server named by the environment or the client configuration; never started
        // just for us if the configuration says not to.
        bool ready = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0;
        while (ready) {
            const pa_context_state_t state = pa_context_get_state(m_context);
            if (state == PA_CONTEXT_READY)
                break;
            if (!PA_CONTEXT_IS_GOOD(state))
                ready = false;
            else
                pa_threaded_mainloop_wait(m_loop.loop);
        }
        if (!ready)
            qCInfo(lcDevice) << "no sound server:" << pa_strerror(pa_context_errno(m_context));
        m_loop.unlock();
        return ready;
    }

    pa_context *context() const { return m_context; }
    pa_threaded_mainloop *loop() const { return m_loop.loop; }
    void lock() { m_loop.lock(); }
    void unlock() { m_loop.unlock(); }

    // Runs an operation to its end; the caller holds the lock.
    void wait(pa_operation *operation) {
        if (!operation)
            return;
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_threaded_mainloop_wait(m_loop.loop);
        pa_operation_unref(operation);
    }

private:
    struct Loop {
        pa_threaded_mainloop *loop = nullptr;
        void lock() { pa_threaded_mainloop_lock(loop); }
        void unlock() { pa_threaded_mainloop_unlock(loop); }
    };

    static void contextState(pa_context *context, void *userdata) {
        auto *self = static_cast<Connection *>(userdata);
        if (self->m_stateChanged)
            self->m_stateChanged(context, self->m_userdata);
        pa_threaded_mainloop_signal(self->m_loop.loop, 0);
    }

    Loop m_loop;
    pa_context *m_context = nullptr;
    pa_context_notify_cb_t m_stateChanged = nullptr;
    void *m_userdata = nullptr;
};

// The default output's description; empty when there is none.
QByteArray defaultOutput(Connection &connection) {
    struct Query {
        Connection *connection;
        QByteArray sinkName;
        QByteArray description;
    } query{&connection, {}, {}};
    connection.lock();
    connection.wait(pa_context_get_server_info(
        connection.context(),
        [](pa_context *, const pa_server_info *info, void *userdata) {
            auto *q = static_cast<Query *>(userdata);
            if (info && info->default_sink_name)
                q->sinkName = info->default_sink_name;
            pa_threaded_mainloop_signal(q->connection->loop(), 0);
        },
        &query));
    if (!query.sinkName.isEmpty())
        connection.wait(pa_context_get_sink_info_by_name(
            connection.context(), query.sinkName.constData(),
            [](pa_context *, const pa_sink_info *info, int, void *userdata) {
                auto *q = static_cast<Query *>(userdata);
                if (info)
                    q->description =
                        info->description && *info->description ? info->description : info->name;
                pa_threaded_mainloop_signal(q->connection->loop(), 0);
            },
            &query));
    connection.unlock();
    return query.description;
}

QByteArray defaultOutput() {
    Connection connection;
    return connection.open() ? defaultOutput(connection) : QByteArray();
}

bool hasDevice() {
    return !defaultOutput().isEmpty();
}

std::size_t description(char *text, std::size_t size) {
    const QByteArray name = defaultOutput();
    if (text && size > 0) {
        const std::size_t n = std::min(size - 1, std::size_t(name.size()));
        std::memcpy(text, name.constData(), n);
        text[n] = '\0';
    }
    return std::size_t(name.size());
}

// One open stream. A child of the output that opened it, so it goes with it at the latest.
struct Sink : QObject {
    Sink(QObject *owner, void (*failed)(void *), void *context)
        : QObject(owner)
        , failed(failed)
        , failedContext(context) {}

    ~Sink() override { end(); }

    // Closes the stream and the connection; the thread is gone when this returns.
    void end() {
        closing = true;
        if (stream) {
            connection.lock();
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
            stream = nullptr;
            connection.unlock();
        }
        connection.close();
    }

    // From the sound server's thread: the stream or the connection failed or went away
    // while it was open. The owner hears of it once, from the event loop, unless the stream
    // has been closed meanwhile.
    void lost() {
        if (std::exchange(reported, true))
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (closing)
                    return;
                qCWarning(lcDevice) << "sound device stopped";
                if (failed)
                    failed(failedContext);
            },
            Qt::QueuedConnection);
    }

    static void contextState(pa_context *context, void *userdata) {
        auto *self = static_cast<Sink *>(userdata);
        if (self->stream && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            self->lost();
    }

    static void streamState(pa_stream *stream, void *userdata) {
        auto *self = static_cast<Sink *>(userdata);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
            self->lost();
        pa_threaded_mainloop_signal(self->connection.loop(), 0);
    }

    Connection connection;
    pa_stream *stream = nullptr;
    std::int64_t size = 0; // bytes the server keeps for us
    void (*failed)(void *);
    void *failedContext;
    bool closing = false;  // main thread only
    bool reported = false; // sound server thread only
};

void closeSink(void *handle) {
    auto *sink = static_cast<Sink *>(handle);
    if (!sink)
        return;
    sink->end();
    // Possibly called from the owner's handler of failed(): the object goes once it returned.
    sink->deleteLater();
}

void *openSink(QObject *owner, int sampleRate, int channels, int bufferBytes,
               void (*failed)(void *), void *context) {
    auto *sink = new Sink(owner, failed, context);
    if (!sink->connection.open(&Sink::contextState, sink)) {
        delete sink;
        return nullptr;
    }
    // 16-bit PCM at our rate and channel count, the one format we offer the server.
    pa_format_info *pcm = pa_format_info_new();
    pcm->encoding = PA_ENCODING_PCM;
    pa_format_info_set_sample_format(pcm, PA_SAMPLE_S16LE);
    pa_format_info_set_rate(pcm, sampleRate);
    pa_format_info_set_channels(pcm, channels);
    Connection &connection = sink->connection;
    connection.lock();
    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, "Playback");
    sink->stream = pa_stream_new_extended(connection.context(), "Playback", &pcm, 1, properties);
    pa_proplist_free(properties);
    pa_format_info_free(pcm);
    bool ready = sink->stream != nullptr;
    if (ready) {
        pa_stream_set_state_callback(sink->stream, &Sink::streamState, sink);
        // The server keeps `bufferBytes` for us, counted to the speaker (so the sound card's
        // own buffer is part of it, not added to it): what we write is heard that much later.
        pa_buffer_attr attributes{};
        attributes.maxlength = std::uint32_t(-1);
        attributes.tlength = std::uint32_t(bufferBytes);
        attributes.prebuf = std::uint32_t(-1);
        attributes.minreq = std::uint32_t(-1);
        attributes.fragsize = std::uint32_t(-1);
        ready = pa_stream_connect_playback(sink->stream, nullptr, &attributes,
                                           PA_STREAM_ADJUST_LATENCY, nullptr, nullptr) >= 0;
    }
    while (ready) {
        const pa_stream_state_t state = pa_stream_get_state(sink->stream);
        if (state == PA_STREAM_READY)
            break;
        if (!PA_STREAM_IS_GOOD(state))
            ready = false;
        else
            pa_threaded_mainloop_wait(connection.loop());
    }
    if (ready) {
        const pa_buffer_attr *granted = pa_stream_get_buffer_attr(sink->stream);
        sink->size = granted ? granted->tlength : bufferBytes;
    } else {
        qCWarning(lcDevice) << "sound device did not start:"
                            << pa_strerror(pa_context_errno(connection.context()));
    }
    connection.unlock();
    if (!ready) {
        delete sink;
        return nullptr;
    }
    return sink;
}

std::int64_t bytesFree(void *handle) {
    auto *sink = static_cast<Sink *>(handle);
    sink->connection.lock();
    const std::size_t free = pa_stream_writable_size(sink->stream);
    sink->connection.unlock();
    return free == std::size_t(-1) ? 0 : std::int64_t(std::min<std::size_t>(free, sink->size));
}

std::int64_t bufferSize(void *handle) {
    return static_cast<Sink *>(handle)->size;
}

std::int64_t write(void *handle, const char *data, std::int64_t bytes) {
    auto *sink = static_cast<Sink *>(handle);
    sink->connection.lock();
    std::int64_t taken = 0;
    const std::size_t free = pa_stream_writable_size(sink->stream);
    if (free != std::size_t(-1)) {
        taken = std::min<std::int64_t>(bytes, std::int64_t(free));
        if (taken > 0 && pa_stream_write(sink->stream, data, std::size_t(taken), nullptr, 0,
                                         PA_SEEK_RELATIVE) < 0)
            taken = 0;
    }
    sink->connection.unlock();
    return taken;
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
