// Stream intake: turns the blocks the stream client delivers into audio. For each connection
// it gathers the head (the response header block and the first frames), finds the header's
// end and the first MPEG frame, sets the decoder up and then feeds the stream into the ring
// in whole blocks; it starts the output once enough is buffered, drops the oldest half of the
// ring when it overflows and re-synchronises after an underrun.
//
// The intake shows nothing itself: it emits the texts the window shows and asks for the
// actions (stop, station details, now-playing poll) that other parts of the program own.
#pragma once

#include "stream/framesync.h"
#include "stream/playerstatus.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>

namespace kestrune {

class AudioOutput;
class PcmSource;
class RingBuffer;

class StreamIntake : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype HeadCapacity = 16385; // bytes the head can hold
    static constexpr qsizetype HeadThreshold = 8192; // head is processed at this size
    // A head whose header block ends late waits for this much audio behind the header (or a
    // full head) before the frame search: an ordinary header, under 2 KiB, leaves at least
    // this much at the threshold, and three frames of any common rate fit in it.
    static constexpr qsizetype MinAudioBehindHeader = 6144;
    static constexpr qsizetype PrebufferThreshold =
        PlayerStatus::PrebufferThreshold;             // output starts above this
    static constexpr qsizetype RingCapacity = 409600; // what the buffer figures count against

    // Texts the intake produces.
    static QString bufferText(qsizetype held);
    static QString diagnosticLine(const StreamFormat &format, qint32 headerLength,
                                  qint32 framePosition);
    static QString bitrateLabel(qint32 bitRate);
    inline static const QString UnableToOpenText = QStringLiteral("Unable to open stream !");
    inline static const QString UnableToPlayText = QStringLiteral("Unable to start playback !");

    // `source` is what the output pulls from (the decoder chain); `setDecoderFormat` hands the
    // decoder its input format block for a new head. The phases the intake moves through
    // (prebuffering, playing, resyncing) go to `status`.
    StreamIntake(RingBuffer &ring, AudioOutput &output, PcmSource &source, PlayerStatus &status,
                 const SampleRateTable &sampleRates,
                 std::function<void(const QByteArray &)> setDecoderFormat,
                 QObject *parent = nullptr);

    // A new connection: gather a head from scratch, nothing staged, playback not started.
    void ResetForConnection();
    // Playback is no longer started (after the output was stopped by a Stop or a switch).
    void markPlaybackNotStarted() { m_playbackStarted = false; }

    // The stream client's Streaming event.
    void Streaming(const QByteArray &buffer, qint32 bytesTotal);
    // The decoder's buffer request: fills `data` from the ring, says whether more follows,
    // and starts a resync when the ring has run dry. It runs inside the output's own pull, so
    // the output is stopped from the event loop afterwards, never from here.
    qsizetype BufferRequest(char *data, qsizetype size, bool &moreBuffers);
    // The output's stopped notification. A late notification of an output that has been
    // started again since is not news.
    void OutputStopped();

    // How many bytes of the stream the intake can take now without dropping any: unlimited
    // while it gathers a head or nothing drains the ring, else the room left in the ring.
    // Asked by the stream client before each read; a reader told 0 (less than a block of
    // room) waits for readRoom().
    qint64 ReadAllowance();
    // Room a held-back reader waits for before it is woken: a few blocks, so a ring that
    // drains slowly wakes it about once a second rather than once per block.
    static constexpr qint64 ResumeRoomBytes = 16384;

    // Returns the header length: the bytes up to and including the first LF of the blank line
    // that ends the header block (LF LF, or LF CR). Without one, length - 1 + 1.
    static qint32 FindHeaderEnd(const char *head, qint32 length);

    // State, for the window and for tests.
    bool CollectingHead() const { return m_collectingHead; }
    bool ResyncPending() const { return m_resyncPending; }
    qint32 HeadLength() const { return m_headLength; }
    qint32 StagedBytes() const { return m_stagedBytes; }
    bool PlaybackStarted() const { return m_playbackStarted; }
    const StreamFormat &format() const { return m_format; }
    // The header block and the diagnostic lines (the text box under the station details).
    const QString &streamText() const { return m_streamText; }

Q_SIGNALS:
    void bufferStatus(const QString &text); // status panel 2
    void streamTextChanged(const QString &text);
    void sampleRateText(const QString &text);
    void bitrateText(const QString &text);
    void channelsText(const QString &text);
    // Calls out, in this order after a head: station details from the header, then one
    // now-playing poll.
    void stationInfoRequested();
    void nowPlayingPollRequested();
    // Playback has started: the current song is worth asking for.
    void artistRequested();
    // The stop action of the player (the connection manager owns it).
    void stopRequested();
    void cursorReset();
    // A message for the user, shown in a plain box.
    void message(const QString &text);
    // A reader held back by ReadAllowance() may go on reading (emitted once per hold-back).
    void readRoom();

private:
    // Frame sync, decoder set-up and priming of the ring; false when no frame was found.
    bool processHead();
    // The head holds enough to look for the frames: the threshold is reached and, on a new
    // connection, the header block has ended with room for frames behind it (or the head is
    // full).
    bool headReady();
    // Stops the output once control is back in the event loop, unless playback has been
    // started afresh (or the connection reset) in the meantime.
    void queueOutputStop();
    void streamPath(const char *data, qsizetype count);
    void WriteToRing(const char *data, qsizetype count);
    void writeBlock(const char *block);
    void dropOldestHalf();

    RingBuffer &m_ring;
    AudioOutput &m_output;
    PcmSource &m_source;
    PlayerStatus &m_status;
    const SampleRateTable &m_sampleRates;
    std::function<void(const QByteArray &)> m_setDecoderFormat;

    QByteArray m_head;   // HeadCapacity bytes
    QByteArray m_staged; // one ring block
    bool m_collectingHead = false;
    bool m_resyncPending = false;
    qint32 m_headLength = 0;
    qint32 m_stagedBytes = 0;
    bool m_playbackStarted = false;
    // Where the header block ends in the head (see FindHeaderEnd), 0 while not yet seen, and
    // where the search for it goes on when more bytes arrive.
    qint32 m_headerEnd = 0;
    qint32 m_headerScanFrom = 0;
    // Counts output starts and connection resets; a queued stop only acts on the playback it
    // was meant for.
    quint64 m_playbackGeneration = 0;
    StreamFormat m_format;
    QString m_streamText;
    // The ring's fill the buffer text last showed (-1: nothing shown on this connection).
    qsizetype m_shownHeld = -1;
    // A reader was told there is no room and waits for readRoom().
    bool m_readerWaiting = false;
    // Wakes a waiting reader once there is room (or nothing drains the ring any more).
    void wakeReaderIfRoom();
};

} // namespace kestrune
