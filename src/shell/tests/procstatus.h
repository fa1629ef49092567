// A memory figure of a running process, from the kernel's status page of it.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kestrune::test {

// `field` is a line name of /proc/PID/status such as "VmRSS" or "VmHWM"; `process` is a pid
// or "self". In bytes; 0 when the process or the line is gone.
inline qint64 procStatusBytes(const QString &process, const QByteArray &field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray name = field + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

} // namespace kestrune::test
