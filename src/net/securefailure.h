// What the user is told when a secure (https) connection cannot be made. A certificate that
// does not verify is never ignored: the connection ends, and the message names the host and
// the reason, so the user can tell an expired certificate from a wrong address or a server
// that is not who it says it is.
#pragma once

#include <QList>
#include <QSslError>
#include <QString>

namespace kestrune {

// "The certificate of HOST is not accepted: REASON." with every distinct reason the check
// gave, in the order given (at least one: an empty list reads as "it could not be checked").
QString CertificateFailureText(const QString &host, const QList<QSslError> &errors);

// "No secure connection could be made with HOST: REASON." for a handshake that failed
// without a certificate verdict (the server speaks plain HTTP, or no common protocol).
QString HandshakeFailureText(const QString &host, const QString &reason);

// The text for a failed secure connection: the certificate's verdict when there was one,
// the handshake's reason otherwise.
QString SecureFailureText(const QString &host, const QList<QSslError> &errors,
                          const QString &reason);

} // namespace kestrune
