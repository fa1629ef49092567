// Small file helpers the recorder's tests share, and the file size limit their child
// processes record and tag under.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace kestrune::test {

inline QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Caps the size of every file this process writes at `limit` bytes; a write beyond it fails
// (its signal is ignored) instead of ending the process, as on a full disk. False where no
// such limit can be set.
inline bool limitFileSize(qint64 limit) {
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit cap{rlim_t(limit), rlim_t(limit)};
    return setrlimit(RLIMIT_FSIZE, &cap) == 0;
#else
    Q_UNUSED(limit);
    return false;
#endif
}

} // namespace kestrune::test
