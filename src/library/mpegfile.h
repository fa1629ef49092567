// An MP3 file opened for libmpg123 through our own reader (QFile), so that any path Qt can
// open works, Unicode names and Windows included. The file analysis keeps one per thread;
// the player holds one while it has a file.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

struct mpg123_handle_struct;

namespace kestrune {

class MpegFile {
public:
    enum class Use {
        Analysis, // headers only: the file's own rate and channels, no end probing
        Playback, // PCM in the outputs' format (44,100 Hz, 16-bit, stereo)
    };

    explicit MpegFile(Use use);
    ~MpegFile();
    MpegFile(const MpegFile &) = delete;
    MpegFile &operator=(const MpegFile &) = delete;

    // False when libmpg123 could not be set up; then nothing opens.
    bool isValid() const { return m_handle != nullptr; }

    // Opens `path` for the decoder. `knownSize` (bytes, -1 when unknown) saves asking the
    // file system again. False when the file cannot be opened; nothing is held then.
    bool open(const QString &path, qint64 knownSize = -1);
    // Releases the file; its descriptor is closed on return.
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    mpg123_handle_struct *handle() const { return m_handle; }
    qint64 fileSize() const { return m_size; }    // bytes
    qint64 id3v1Bytes() const { return m_id3v1; } // 128 when the file ends in an ID3v1 tag

    // The decoder's read and seek calls (POSIX read and lseek semantics).
    qint64 read(char *data, qint64 bytes);
    qint64 seek(qint64 offset, int whence);

private:
    Use m_use;
    mpg123_handle_struct *m_handle = nullptr;
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_id3v1 = 0;
    // For the analysis: the file's first bytes, read at once, from which the decoder takes
    // the first frames without a call to the file system each.
    QByteArray m_head;
    qint64 m_pos = 0; // the decoder's position in the file
};

} // namespace kestrune
