#include "library/mpegfile.h"

#include "stream/pcmsource.h"

#include <QLoggingCategory>

#include <mpg123.h>

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

mpg123_ssize_t readFile(void *handle, void *buffer, size_t bytes) {
    auto *file = static_cast<MpegFile *>(handle);
    return mpg123_ssize_t(file->file().read(static_cast<char *>(buffer), qint64(bytes)));
}

off_t seekFile(void *handle, off_t offset, int whence) {
    auto *file = static_cast<MpegFile *>(handle);
    QFile &f = file->file();
    qint64 target = -1;
    switch (whence) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = f.pos() + offset;
        break;
    case SEEK_END:
        target = file->fileSize() + offset;
        break;
    default:
        return -1;
    }
    if (target < 0 || !f.seek(target))
        return -1;
    return off_t(target);
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
    // Unbuffered: the decoder asks for exactly what it needs, a header or a frame at a time,
    // and the analysis reads a few hundred bytes of a file at most.
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    m_size = knownSize >= 0 ? knownSize : m_file.size();

    m_id3v1 = 0;
    if (m_size >= Id3v1Bytes && m_file.seek(m_size - Id3v1Bytes)) {
        char head[3] = {};
        if (m_file.read(head, 3) == 3 && std::memcmp(head, "TAG", 3) == 0)
            m_id3v1 = Id3v1Bytes;
    }
    if (!m_file.seek(0)) {
        m_file.close();
        return false;
    }
    if (mpg123_open_handle(m_handle, this) != MPG123_OK) {
        m_file.close();
        return false;
    }
    if (m_use == Use::Analysis)
        mpg123_set_filesize(m_handle, off_t(m_size - m_id3v1));
    return true;
}

void MpegFile::close() {
    if (m_handle)
        mpg123_close(m_handle);
    m_file.close();
    m_size = 0;
    m_id3v1 = 0;
}

} // namespace kestrune
