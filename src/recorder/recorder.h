// Recording control: one MP3 file per song, holding exactly the bytes the stream client
// received while the recording ran. The recorder moves no audio itself; it opens and closes
// the one recording file, and the stream client appends every block it receives through the
// RecordingSink hook while IsRecording() is true.
#pragma once

#include "recorder/recordingstate.h"
#include "stream/recordingsink.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <functional>

namespace kestrune {

inline const QString NoRecordingFile = QStringLiteral("None");

class Recorder : public QObject, public RecordingSink {
    Q_OBJECT
public:
    // What the recorder reads from the window and the stream client when it names, opens and
    // tags a file. A function left empty reads as empty text or 0.
    struct Host {
        std::function<QString()> station;        // the station name as shown
        std::function<QString()> genre;          // the station genre as shown
        std::function<QString()> artist;         // the now-playing text as shown
        std::function<qint64()> downloadedBytes; // the stream client's count, bytes
    };

    // `recOutputDir` and `recStationType` are the settings' in-memory strings; the first may
    // gain a trailing separator. All four references must outlive the recorder.
    Recorder(QString &recOutputDir, const QString &recStationType, RecordingState &state, Host host,
             QObject *parent = nullptr);
    ~Recorder() override;

    bool IsRecording() const override;
    // Blocks are gathered and written in pieces; a piece that cannot be written whole ends the
    // recording (see StopRecord) and posts message() "Recording stopped: could not write FILE:
    // REASON". Closing a file (stop, split) writes what is gathered first.
    void AppendToRecording(const QByteArray &block) override;

    // Opens the next free file and starts recording; nothing while recording. A file that
    // cannot be created posts message() "Cannot record to FILE: REASON" and the recorder
    // stays ready.
    void Record();
    // Closes and tags the file (artist and title: the now-playing text now shown); nothing
    // when not recording or while already stopping.
    void StopRecord();
    // The now-playing text changed: while recording, closes and tags the file (artist and
    // title: the song noted for it) and opens the next one, with no event in between. A next
    // file that cannot be created ends the recording with the message Record gives.
    void ArtistChanged();
    // The now-playing tracker read `song` ("" counts as "Unknown"); the open file's tag takes
    // the first song read after the file was opened.
    void noteSong(const QString &song);

Q_SIGNALS:
    // After Record, StopRecord, or a failure that ended the recording.
    void recordingChanged(bool recording);
    // The file name of the current recording (no folder), or "None".
    void fileToRecordText(const QString &text);
    // A plain message for the user. Always delivered through the event loop, never from
    // inside the call that caused it: a write failure happens inside the stream client's data
    // handler, and a modal box must not open there.
    void message(const QString &text);

private:
    // Names and opens the next file. On failure returns false with the message text.
    bool openNextFile(QString &failure);
    // Writes what has been gathered; false (with m_writeFailure said) when it could not be
    // written whole.
    bool writePending();
    // Writes what is gathered, closes the file and tags it with `song` as artist and title;
    // false when the last bytes could not be written.
    bool closeAndTag(const QString &song);
    // Leaves the recording state after the last file has been closed and tagged.
    void endRecording();
    void postMessage(const QString &text);
    QString hostText(const std::function<QString()> &read) const;
    static QString currentYear();

    QString &m_recOutputDir;
    const QString &m_recStationType;
    RecordingState &m_state;
    Host m_host;
    QFile m_file;         // the recording file, open exactly while m_state.IsRecording
    QByteArray m_pending; // received bytes not yet written, less than a write piece
    QString m_writeFailure;
    bool m_busy = false; // inside StopRecord or a split: nested calls are ignored
};

} // namespace kestrune
