#include "streamsynth/testtls.h"

#include "streamsynth/testtlsdata.h"

#include <QSslKey>
#include <QSslSocket>

namespace kestrune::testsupport {

namespace {

QSslCertificate certificate(const char *pem) {
    return QSslCertificate(QByteArray(pem), QSsl::Pem);
}

} // namespace

QSslCertificate testAuthority() {
    return certificate(TestTlsAuthority);
}

QSslConfiguration testServerConfiguration(TestCertificate which) {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const char *pem = which == TestCertificate::WrongHost ? TestTlsWrongHost
                      : which == TestCertificate::Expired ? TestTlsExpired
                                                          : TestTlsLocalhost;
    configuration.setLocalCertificateChain({certificate(pem), testAuthority()});
    configuration.setPrivateKey(QSslKey(QByteArray(TestTlsServerKey), QSsl::Rsa, QSsl::Pem));
    // A server does not ask its clients for certificates.
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

void trustTestAuthority() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(testAuthority());
    QSslConfiguration::setDefaultConfiguration(configuration);
}

void TlsServer::incomingConnection(qintptr descriptor) {
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setSslConfiguration(m_configuration);
    addPendingConnection(socket);
    socket->startServerEncryption();
}

} // namespace kestrune::testsupport
