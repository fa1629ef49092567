#include "stream/intake.h"

#include "stream/audiooutput.h"
#include "stream/ringbuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kestrune {

QString StreamIntake::bufferText(qsizetype held) {
    return QStringLiteral("Buffer: %1/%2 bytes (%3%)...")
        .arg(held)
        .arg(RingCapacity)
        .arg(held * 100 / RingCapacity);
}

QString StreamIntake::diagnosticLine(const StreamFormat &format, qint32 headerLength,
                                     qint32 framePosition) {
    // The offset of the first frame behind the header, in hex as a 32-bit value would show it.
    const quint32 offset = quint32(framePosition) - quint32(headerLength);
    return QStringLiteral("Samplerate: %1  Bitrate: %2 HeaderLen: %3 FramePos: %4 FramePos: %5")
        .arg(format.sampleRate)
        .arg(format.bitRate)
        .arg(headerLength)
        .arg(framePosition)
        .arg(QString::number(offset, 16).toUpper());
}

QString StreamIntake::bitrateLabel(qint32 bitRate) {
    return QString::number(bitRate / 1000.0, 'g', 12) + QStringLiteral(" Kbps");
}

StreamIntake::StreamIntake(RingBuffer &ring, AudioOutput &output, PcmSource &source,
                           PlayerStatus &status, const SampleRateTable &sampleRates,
                           std::function<void(const QByteArray &)> setDecoderFormat,
                           QObject *parent)
    : QObject(parent)
    , m_ring(ring)
    , m_output(output)
    , m_source(source)
    , m_status(status)
    , m_sampleRates(sampleRates)
    , m_setDecoderFormat(std::move(setDecoderFormat))
    , m_head(HeadCapacity, '\0') {}

void StreamIntake::ResetForConnection() {
    m_collectingHead = true;
    m_resyncPending = false;
    m_headLength = 0;
    m_stagedBytes = 0;
    m_playbackStarted = false;
    m_headerEnd = 0;
    m_headerScanFrom = 0;
    m_shownHeld = -1;
    m_readerWaiting = false;
    ++m_playbackGeneration;
}

void StreamIntake::OutputStopped() {
    if (!m_output.IsRunning())
        m_playbackStarted = false;
    wakeReaderIfRoom();
}

qint64 StreamIntake::ReadAllowance() {
    // Without a running output nothing drains the ring: holding back would wait for ever,
    // so everything is taken and the overflow rule applies as it always has.
    if (m_collectingHead || m_resyncPending || !m_ring.IsOpen() || !m_output.IsRunning()) {
        m_readerWaiting = false;
        return std::numeric_limits<qint64>::max();
    }
    // Whole free blocks (a partly read block is not free yet), less what is staged.
    const qint64 room =
        qint64(m_ring.NumBuffers() - m_ring.FilledBlocks()) * m_ring.BufferSize() - m_stagedBytes;
    // Less than a block is no room: the reader waits rather than staging crumbs.
    m_readerWaiting = room < m_ring.BufferSize();
    return m_readerWaiting ? 0 : room;
}

void StreamIntake::wakeReaderIfRoom() {
    if (!m_readerWaiting)
        return;
    const qint64 room = ReadAllowance();
    if (room >= ResumeRoomBytes || room == std::numeric_limits<qint64>::max()) {
        m_readerWaiting = false;
        Q_EMIT readRoom();
    } else {
        m_readerWaiting = true;
    }
}

qint32 StreamIntake::FindHeaderEnd(const char *head, qint32 length) {
    qint32 i = 0;
    for (; i <= length - 2; ++i) {
        if (head[i] == '\n' && (head[i + 1] == '\n' || head[i + 1] == '\r'))
            break;
    }
    if (i > length - 2)
        i = std::max(length - 1, 0);
    return i + 1;
}

void StreamIntake::Streaming(const QByteArray &buffer, qint32 bytesTotal) {
    const qsizetype count = std::clamp<qsizetype>(bytesTotal, 0, buffer.size());
    if (!m_collectingHead && !m_resyncPending) {
        streamPath(buffer.constData(), count);
        return;
    }

    // Head path. Only what fits is stored; the rest of this block follows the processed head
    // through the stream path, so no byte of the stream is lost or reordered.
    const qsizetype fits = std::min(count, HeadCapacity - m_headLength);
    std::memcpy(m_head.data() + m_headLength, buffer.constData(), size_t(fits));
    m_headLength += qint32(fits);
    if (!headReady())
        return;
    if (processHead() && fits < count)
        streamPath(buffer.constData() + fits, count - fits);
}

bool StreamIntake::headReady() {
    if (m_headLength < HeadThreshold)
        return false;
    if (m_resyncPending || m_headLength >= HeadCapacity)
        return true;
    // The blank line is looked for only in what arrived since the last look (one byte back,
    // since it may straddle two events).
    const char *head = m_head.constData();
    for (qint32 i = m_headerScanFrom; m_headerEnd == 0 && i + 1 < m_headLength; ++i) {
        if (head[i] == '\n' && (head[i + 1] == '\n' || head[i + 1] == '\r'))
            m_headerEnd = i + 1;
    }
    m_headerScanFrom = std::max(m_headLength - 1, 0);
    if (m_headerEnd == 0)
        return false; // the header goes on: a header cut short finds no frames
    return m_headLength - m_headerEnd >= MinAudioBehindHeader;
}

bool StreamIntake::processHead() {
    qint32 headerLength = 0;
    if (!m_resyncPending) {
        headerLength = FindHeaderEnd(m_head.constData(), m_headLength);
        // The header block ends at a zero byte, as the text box shows it.
        if (headerLength < m_head.size())
            m_head[headerLength] = '\0';
        const qsizetype shown = qstrnlen(m_head.constData(), size_t(headerLength));
        m_streamText = QString::fromLatin1(m_head.constData(), shown);
        Q_EMIT streamTextChanged(m_streamText);
    }

    const qint32 framePosition =
        FindFrameSync(m_head, headerLength, m_headLength, m_sampleRates, m_format);

    // One diagnostic line per head; after a resync it goes below the previous one.
    if (!m_streamText.isEmpty() && !m_streamText.endsWith(QLatin1Char('\n')))
        m_streamText += QStringLiteral("\r\n");
    m_streamText += diagnosticLine(m_format, headerLength, framePosition);
    Q_EMIT streamTextChanged(m_streamText);
    Q_EMIT sampleRateText(QString::number(m_format.sampleRate));
    Q_EMIT bitrateText(bitrateLabel(m_format.bitRate));
    Q_EMIT stationInfoRequested();
    Q_EMIT nowPlayingPollRequested();

    const bool found = framePosition >= 0;
    if (!found) {
        Q_EMIT stopRequested();
        Q_EMIT cursorReset();
        Q_EMIT message(UnableToOpenText);
    } else {
        const bool mono = m_format.channelMode == 3;
        Q_EMIT channelsText(mono ? QStringLiteral("Mono") : QStringLiteral("Stereo"));
        if (m_setDecoderFormat)
            m_setDecoderFormat(
                BuildDecoderFormat(m_format.sampleRate, m_format.bitRate, mono ? 1 : 2));
        m_ring.Empty();
        m_stagedBytes = 0;
        // The header block and anything before the first frame never reach the decoder.
        WriteToRing(m_head.constData() + framePosition, m_headLength - framePosition);
    }
    m_collectingHead = false;
    m_resyncPending = false;
    return found;
}

void StreamIntake::streamPath(const char *data, qsizetype count) {
    if (m_ring.FilledBlocks() >= m_ring.NumBuffers())
        dropOldestHalf();
    WriteToRing(data, count);

    if (!(m_output.State() & AudioOutput::StateRunning) && !m_playbackStarted) {
        const qsizetype held = m_ring.BytesHeld();
        m_status.setPrebuffering(held);
        if (held > PrebufferThreshold) {
            m_status.setPlaying();
            Q_EMIT artistRequested();
            m_playbackStarted = true;
            Q_EMIT cursorReset();
            ++m_playbackGeneration;
            if (!m_output.Start(&m_source)) {
                Q_EMIT stopRequested();
                Q_EMIT cursorReset();
                Q_EMIT message(UnableToPlayText);
                return;
            }
        }
    }
    // The text is built only when the figure it shows has moved (bytes are staged until a
    // whole block is in, so many reads leave it as it was).
    const qsizetype held = m_ring.BytesHeld();
    if (held != m_shownHeld) {
        m_shownHeld = held;
        Q_EMIT bufferStatus(bufferText(held));
    }
}

void StreamIntake::WriteToRing(const char *data, qsizetype count) {
    const qsizetype blockSize = m_ring.BufferSize();
    if (m_staged.size() != blockSize) {
        m_staged.resize(blockSize);
        m_stagedBytes = 0;
    }
    qsizetype taken = 0;
    if (m_stagedBytes >= 1) {
        taken = std::min(blockSize - m_stagedBytes, count);
        std::memcpy(m_staged.data() + m_stagedBytes, data, size_t(taken));
        m_stagedBytes += qint32(taken);
        if (m_stagedBytes >= blockSize) {
            writeBlock(m_staged.constData());
            m_stagedBytes -= qint32(blockSize);
        }
    }
    while (count - taken >= blockSize) {
        writeBlock(data + taken);
        taken += blockSize;
    }
    if (count - taken >= 1) {
        std::memcpy(m_staged.data() + m_stagedBytes, data + taken, size_t(count - taken));
        m_stagedBytes += qint32(count - taken);
    }
}

void StreamIntake::writeBlock(const char *block) {
    // A block that finds the ring full makes room the same way a full ring at the start of
    // an event does, instead of being lost.
    if (!m_ring.WriteBlock(block) && m_ring.IsOpen()) {
        dropOldestHalf();
        m_ring.WriteBlock(block);
    }
}

void StreamIntake::dropOldestHalf() {
    for (qsizetype i = 0; i < m_ring.NumBuffers() / 2; ++i)
        m_ring.ReadBlock(nullptr);
}

qsizetype StreamIntake::BufferRequest(char *data, qsizetype size, bool &moreBuffers) {
    const qsizetype read = m_ring.Read(data, size);
    moreBuffers = !m_ring.IsEmpty();
    // Ran dry: stop, gather a fresh head and find the frames again before playing on. The
    // output may pull again before its stop comes round; that finds the resync under way.
    if (m_ring.IsEmpty() && !m_resyncPending) {
        queueOutputStop();
        m_status.setResyncing();
        m_headLength = 0;
        m_resyncPending = true;
    }
    wakeReaderIfRoom();
    return read;
}

void StreamIntake::queueOutputStop() {
    // Stopping the output from inside its pull would free the buffer the decoder is about
    // to fill.
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_playbackGeneration] {
            if (generation == m_playbackGeneration)
                m_output.Stop();
        },
        Qt::QueuedConnection);
}

} // namespace kestrune
