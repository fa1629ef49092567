// The addresses one request has been sent to, and where its next redirect leads: the one
// rule for the stream, the playlist and the directory. Only http and https addresses are
// fetched, at most MaxHops redirects, never one already asked; the texts name the address
// that ended the chain. `%1` in them is the subject ("The server", "The directory"), `%2`
// the address.
#pragma once

#include <QSet>
#include <QString>
#include <QUrl>

#include <utility>

namespace kestrune {

class RedirectChain {
public:
    static constexpr int MaxHops = 5;
    inline static const QString LoopText = QStringLiteral("%1 redirects in a loop, back to %2.");
    inline static const QString TooManyText =
        QStringLiteral("%1 redirects more than 5 times; the last address was %2.");
    inline static const QString SchemeText =
        QStringLiteral("%1 redirects to %2, which is neither an http nor an https address.");

    struct Step {
        QUrl target;     // the address to ask next; empty when the chain ends
        QString failure; // why it ends, for the user
    };

    explicit RedirectChain(QString subject = QStringLiteral("The server"))
        : m_subject(std::move(subject)) {}

    // A new request, first sent to `first`.
    void start(const QUrl &first);
    // Where `location`, said by the server at the current address, leads (relative values
    // are taken against the current address); the target becomes the current address.
    Step follow(const QString &location);
    QUrl current() const { return m_current; }
    int hops() const { return m_hops; }

    // An address as a message shows it: encoded (no line breaks or markup from a server) and
    // not longer than a line.
    static QString shown(const QUrl &address);

private:
    QString m_subject;
    QUrl m_current;
    QSet<QString> m_seen;
    int m_hops = 0;
};

// Whether `url` may be fetched at all: http or https, with a host. Anything a server sends
// (a playlist line, a redirect, a JSON field) passes this before it is asked.
bool IsWebAddress(const QUrl &url);
// The same for a text, read strictly (blanks around it aside).
bool IsWebAddress(const QString &url);

} // namespace kestrune
