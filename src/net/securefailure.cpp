#include "net/securefailure.h"

#include <QStringList>

namespace kestrune {

namespace {

// A reason as a sentence part: Qt's texts start with a capital and have no full stop.
QString reasonText(QString text) {
    text = text.simplified();
    while (text.endsWith(u'.'))
        text.chop(1);
    return text.isEmpty() ? QStringLiteral("it could not be checked") : text;
}

} // namespace

QString CertificateFailureText(const QString &host, const QList<QSslError> &errors) {
    QStringList reasons;
    for (const QSslError &error : errors) {
        const QString reason = reasonText(error.errorString());
        if (!reasons.contains(reason))
            reasons << reason;
    }
    if (reasons.isEmpty())
        reasons << reasonText(QString());
    return QStringLiteral("The certificate of %1 is not accepted: %2.")
        .arg(host, reasons.join(QStringLiteral("; ")));
}

QString HandshakeFailureText(const QString &host, const QString &reason) {
    return QStringLiteral("No secure connection could be made with %1: %2.")
        .arg(host, reasonText(reason));
}

QString SecureFailureText(const QString &host, const QList<QSslError> &errors,
                          const QString &reason) {
    return errors.isEmpty() ? HandshakeFailureText(host, reason)
                            : CertificateFailureText(host, errors);
}

} // namespace kestrune
