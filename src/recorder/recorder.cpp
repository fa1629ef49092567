#include "recorder/recorder.h"

#include "recorder/recname.h"
#include "recorder/tagwriter.h"

#include <QDate>
#include <QFileInfo>
#include <QMetaObject>

namespace kestrune {

namespace {

// New files only: a name taken between choosing and opening is never written into.
// Unbuffered: the recorder gathers the blocks itself, and a failed write is seen when it
// happens.
constexpr QIODevice::OpenMode RecordingOpenMode =
    QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered;

// Received blocks are gathered and written in pieces of this size: a write per network read
// was most of what recording cost. At 128 kbit/s this is a write a second, and all that a
// program that dies can lose of its last moments.
constexpr qsizetype WriteChunk = 16 * 1024;

// How often a name that another program takes just before we open it is chosen again.
constexpr int OpenAttempts = 100;

// Clears a flag when the scope ends.
class BusyScope {
public:
    explicit BusyScope(bool &flag)
        : m_flag(flag) {
        m_flag = true;
    }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &m_flag;
};

} // namespace

Recorder::Recorder(QString &recOutputDir, const QString &recStationType, RecordingState &state,
                   Host host, QObject *parent)
    : QObject(parent)
    , m_recOutputDir(recOutputDir)
    , m_recStationType(recStationType)
    , m_state(state)
    , m_host(std::move(host)) {}

Recorder::~Recorder() = default;

bool Recorder::IsRecording() const {
    return m_state.IsRecording;
}

void Recorder::AppendToRecording(const QByteArray &block) {
    if (!m_state.IsRecording || m_busy || !m_file.isOpen())
        return;
    m_pending += block;
    if (m_pending.size() < WriteChunk || writePending())
        return;
    {
        const BusyScope busy(m_busy);
        closeAndTag(hostText(m_host.artist));
        endRecording();
    }
    postMessage(m_writeFailure);
}

bool Recorder::writePending() {
    // QFile reports a short write as a count without a reason; writing the rest again gives
    // the reason (file too large, disk full) or finishes the piece.
    qint64 done = 0;
    while (done < m_pending.size()) {
        const qint64 written = m_file.write(m_pending.constData() + done, m_pending.size() - done);
        if (written <= 0)
            break;
        done += written;
    }
    const bool whole = done == m_pending.size();
    if (!whole)
        m_writeFailure = QStringLiteral("Recording stopped: could not write %1: %2")
                             .arg(m_state.RecFileName, m_file.errorString());
    m_pending.resize(0); // keeps its room for the next piece
    return whole;
}

void Recorder::Record() {
    if (m_state.IsRecording || m_busy)
        return;
    m_state.RecSongTitle.clear();
    QString failure;
    if (!openNextFile(failure)) {
        postMessage(failure);
        return;
    }
    Q_EMIT fileToRecordText(QFileInfo(m_state.RecFileName).fileName());
    Q_EMIT recordingChanged(true);
}

void Recorder::StopRecord() {
    if (!m_state.IsRecording || m_busy)
        return;
    bool written = true;
    {
        const BusyScope busy(m_busy);
        written = closeAndTag(hostText(m_host.artist));
        endRecording();
    }
    if (!written)
        postMessage(m_writeFailure);
}

void Recorder::ArtistChanged() {
    if (!m_state.IsRecording || m_busy)
        return;
    QString failure;
    {
        const BusyScope busy(m_busy);
        // The tag is complete before the next file opens; no event runs in between, so the
        // stream client's next block goes to the new file.
        const bool written = closeAndTag(m_state.RecSongTitle);
        m_state.RecSongTitle.clear();
        if (!written)
            failure = m_writeFailure;
        else if (openNextFile(failure)) {
            Q_EMIT fileToRecordText(QFileInfo(m_state.RecFileName).fileName());
            return;
        }
        endRecording();
    }
    postMessage(failure);
}

void Recorder::noteSong(const QString &song) {
    if (m_state.RecSongTitle.isEmpty())
        m_state.RecSongTitle = song.isEmpty() ? QStringLiteral("Unknown") : song;
}

bool Recorder::openNextFile(QString &failure) {
    const RecNameInput input{m_recStationType, hostText(m_host.station), hostText(m_host.genre),
                             hostText(m_host.artist)};
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        m_state.RecFileName = GetRecName(m_recOutputDir, input);
        m_file.setFileName(m_state.RecFileName);
        if (m_file.open(RecordingOpenMode)) {
            m_state.IsRecording = true;
            m_state.RecordStartBytes = m_host.downloadedBytes ? m_host.downloadedBytes() : 0;
            m_state.RecordStartTime = QDateTime::currentDateTime();
            return true;
        }
        // Taken since it was chosen: the next round picks the next counter.
        if (QFileInfo(m_state.RecFileName).exists() || QFileInfo(m_state.RecFileName).isSymLink())
            continue;
        break;
    }
    failure =
        QStringLiteral("Cannot record to %1: %2").arg(m_state.RecFileName, m_file.errorString());
    m_state.IsRecording = false;
    return false;
}

bool Recorder::closeAndTag(const QString &song) {
    const bool written = writePending();
    m_file.close();
    SaveMP3Info(m_state.RecFileName, hostText(m_host.genre), song, song, currentYear(),
                hostText(m_host.station));
    return written;
}

void Recorder::endRecording() {
    m_state.IsRecording = false;
    Q_EMIT fileToRecordText(NoRecordingFile);
    Q_EMIT recordingChanged(false);
}

void Recorder::postMessage(const QString &text) {
    QMetaObject::invokeMethod(
        this, [this, text] { Q_EMIT message(text); }, Qt::QueuedConnection);
}

QString Recorder::hostText(const std::function<QString()> &read) const {
    return read ? read() : QString();
}

QString Recorder::currentYear() {
    return QString::number(QDate::currentDate().year()).rightJustified(4, QLatin1Char('0'));
}

} // namespace kestrune
