#include "library/mpegfile.h"

#include "stream/pcmsource.h"

#include <QLoggingCategory>

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace kestrune {

namespace {

Q_LOGGING_CATEGORY(lcMpegFile, "kestrune.library.file", QtWarningMsg)

constexpr qint64 Id3v1Bytes = 128;

// Needed once per process by libmpg123 before 1.27, ignored by later ones; never undone.
bool initLibrary() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = mpg123_init() == MPG123_OK; });
    return ok;
}

// Enough for an ID3v2 header, a Xing/Info frame and the frames the decoder checks after it.
constexpr qint64 HeadBytes = 4096;

mpg123_ssize_t readFile(void *handle, void *buffer, size_t bytes) {
    return mpg123_ssize_t(
        static_cast<MpegFile *>(handle)->read(static_cast<char *>(buffer), qint64(bytes)));
}

off_t seekFile(void *handle, off_t offset, int whence) {
    return off_t(static_cast<MpegFile *>(handle)->seek(qint64(offset), whence));
}

} // namespace

MpegFile::MpegFile(Use use)
    : m_use(use) {
    if (!initLibrary()) {
        qCWarning(lcMpegFile) << "libmpg123 could not be initialised";
        return;
    }
    int err = MPG123_OK;
    mpg123_handle *h = mpg123_new(nullptr, &err);
    if (!h) {
        qCWarning(lcMpegFile) << "mpg123_new failed:" << mpg123_plain_strerror(err);
        return;
    }
    bool ok = mpg123_replace_reader_handle(h, readFile, seekFile, nullptr) == MPG123_OK;
    if (use == Use::Analysis) {
        // The tag at the end is looked for here, once, and the size handed over, so the
        // library does not seek to the end itself; ID3v2 text is of no use to the figures.
        ok = ok && mpg123_param(h, MPG123_ADD_FLAGS,
                                MPG123_QUIET | MPG123_SKIP_ID3V2 | MPG123_NO_PEEK_END |
                                    MPG123_FORCE_SEEKABLE,
                                0) == MPG123_OK;
    } else {
        // The outputs take one format; the decoder's resampler and channel doubling convert.
        ok = ok &&
             mpg123_param(h, MPG123_ADD_FLAGS,
                          MPG123_QUIET | MPG123_FORCE_STEREO | MPG123_SKIP_ID3V2, 0) == MPG123_OK &&
             mpg123_param(h, MPG123_FORCE_RATE, PcmSampleRate, 0) == MPG123_OK &&
             mpg123_format_none(h) == MPG123_OK &&
             mpg123_format(h, PcmSampleRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) == MPG123_OK;
    }
    if (!ok) {
        qCWarning(lcMpegFile) << "libmpg123 setup failed:" << mpg123_strerror(h);
        mpg123_delete(h);
        return;
    }
    m_handle = h;
}

MpegFile::~MpegFile() {
    close();
    if (m_handle)
        mpg123_delete(m_handle);
}

bool MpegFile::open(const QString &path, qint64 knownSize) {
    close();
    if (!m_handle || path.isEmpty())
        return false;
    m_file.setFileName(path);
    // Unbuffered: the decoder asks for exactly what it needs, a frame at a time, and the
    // analysis reads its head of the file at once.
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    m_size = knownSize >= 0 ? knownSize : m_file.size();

    m_id3v1 = 0;
    m_pos = 0;
    m_head.clear();
    if (m_use == Use::Analysis) {
        m_head.resize(qsizetype(std::min(m_size, HeadBytes)));
        const qint64 got = m_file.read(m_head.data(), m_head.size());
        m_head.resize(qsizetype(std::max<qint64>(0, got)));
    }
    if (m_size >= Id3v1Bytes) {
        char tail[3] = {};
        const qint64 at = m_size - Id3v1Bytes;
        bool read = false;
        if (at + 3 <= m_head.size()) {
            std::memcpy(tail, m_head.constData() + at, 3);
            read = true;
        } else {
            read = m_file.seek(at) && m_file.read(tail, 3) == 3;
        }
        if (read && std::memcmp(tail, "TAG", 3) == 0)
            m_id3v1 = Id3v1Bytes;
    }
    if (mpg123_open_handle(m_handle, this) != MPG123_OK) {
        m_file.close();
        return false;
    }
    if (m_use == Use::Analysis)
        mpg123_set_filesize(m_handle, off_t(m_size - m_id3v1));
    return true;
}

qint64 MpegFile::read(char *data, qint64 bytes) {
    if (bytes <= 0)
        return 0;
    qint64 done = 0;
    if (m_pos < m_head.size()) {
        done = std::min(bytes, qint64(m_head.size()) - m_pos);
        std::memcpy(data, m_head.constData() + m_pos, size_t(done));
        m_pos += done;
        if (done == bytes)
            return done;
    }
    if (m_file.pos() != m_pos && !m_file.seek(m_pos))
        return done > 0 ? done : -1;
    const qint64 got = m_file.read(data + done, bytes - done);
    if (got < 0)
        return done > 0 ? done : -1;
    m_pos += got;
    return done + got;
}

qint64 MpegFile::seek(qint64 offset, int whence) {
    qint64 target = -1;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = m_pos + offset;
        break;
    case SEEK_END:
        target = m_size + offset;
        break;
    default:
        return -1;
    }
    // Only noted: the next read past the head moves the file there.
    if (target < 0)
        return -1;
    m_pos = target;
    return target;
}

void MpegFile::close() {
    if (m_handle)
        mpg123_close(m_handle);
    m_file.close();
    m_size = 0;
    m_id3v1 = 0;
    m_head.clear();
    m_pos = 0;
}

} // namespace kestrune
