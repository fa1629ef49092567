// What the fuzz targets share: a broken promise of a parser is a finding like a crash, and
// the file-reading parsers get their input as a real file on a memory-backed folder.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace kestrune::fuzz {

// Aborts (which libFuzzer reports, saving the input) when a documented promise fails.
inline void check(bool holds, const char *promise) {
    if (holds)
        return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

// A file of this process that each input overwrites: in /dev/shm when there is one, so an
// execution costs no disk writes.
class ScratchFile {
public:
    ScratchFile() {
        const char *folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        m_path = QStringLiteral("%1/kestrune-fuzz-%2.mp3")
                     .arg(QString::fromLatin1(folder))
                     .arg(::getpid());
    }
    ~ScratchFile() { ::unlink(m_path.toLocal8Bit().constData()); }
    ScratchFile(const ScratchFile &) = delete;
    ScratchFile &operator=(const ScratchFile &) = delete;

    // Replaces the file's contents with `data`; the path afterwards.
    const QString &write(const uint8_t *data, size_t size) {
        const QByteArray local = m_path.toLocal8Bit();
        const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        check(fd >= 0, "the scratch file can be written");
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            check(n > 0, "the scratch file takes the whole input");
            done += size_t(n);
        }
        ::close(fd);
        return m_path;
    }

private:
    QString m_path;
};

} // namespace kestrune::fuzz
