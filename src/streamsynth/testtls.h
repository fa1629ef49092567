// Secure servers for tests, benchmarks and the station simulator: a test certificate
// authority, server certificates signed by it (a good one for 127.0.0.1 and localhost, one
// for another host name, an expired one), and a TCP server that speaks TLS with one of them.
// The certificates are made by scripts/make-test-certificates.
//
// Nothing here is part of the program: only a test or a benchmark makes its own process
// trust the test authority (trustTestAuthority), so the program itself trusts only the
// system's certificate store.
#pragma once

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>

namespace kestrune::testsupport {

enum class TestCertificate {
    Localhost, // 127.0.0.1 and localhost, valid until 2126
    WrongHost, // valid, but for wrong-host.invalid only
    Expired,   // 127.0.0.1 and localhost, expired on 2021-01-01
};

QSslCertificate testAuthority();
// A server configuration that presents `which`, with its key.
QSslConfiguration testServerConfiguration(TestCertificate which);
// Adds the test authority to this process's default configuration, beside the system's own
// authorities. For tests and benchmarks only.
void trustTestAuthority();

// A QTcpServer whose connections speak TLS: each accepted socket is a QSslSocket that has
// begun its server handshake. What is written before the handshake ends is sent after it;
// readyRead comes with decrypted bytes.
class TlsServer : public QTcpServer {
public:
    explicit TlsServer(QSslConfiguration configuration, QObject *parent = nullptr)
        : QTcpServer(parent)
        , m_configuration(std::move(configuration)) {}

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslConfiguration m_configuration;
};

} // namespace kestrune::testsupport
