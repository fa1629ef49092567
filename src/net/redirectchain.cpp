#include "net/redirectchain.h"

namespace kestrune {

namespace {

// Longer addresses are cut short in a message; the whole of one is of no use to a reader.
constexpr qsizetype ShownAddressLength = 200;

} // namespace

bool IsWebAddress(const QUrl &url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool IsWebAddress(const QString &url) {
    return IsWebAddress(QUrl(url.trimmed(), QUrl::StrictMode));
}

void RedirectChain::start(const QUrl &first) {
    m_current = first;
    m_seen = {first.toString(QUrl::FullyEncoded | QUrl::NormalizePathSegments)};
    m_hops = 0;
}

RedirectChain::Step RedirectChain::follow(const QString &location) {
    const QUrl target = m_current.resolved(QUrl(location, QUrl::TolerantMode))
                            .adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment);
    Step step;
    if (!IsWebAddress(target)) {
        step.failure = SchemeText.arg(m_subject, shown(target));
        return step;
    }
    const QString key = target.toString(QUrl::FullyEncoded | QUrl::NormalizePathSegments);
    if (m_seen.contains(key)) {
        step.failure = LoopText.arg(m_subject, shown(target));
        return step;
    }
    if (m_hops >= MaxHops) {
        step.failure = TooManyText.arg(m_subject, shown(target));
        return step;
    }
    ++m_hops;
    m_seen.insert(key);
    m_current = target;
    step.target = target;
    return step;
}

QString RedirectChain::shown(const QUrl &address) {
    QString text = address.toString(QUrl::FullyEncoded | QUrl::RemovePassword);
    if (text.isEmpty())
        text = QStringLiteral("an empty address");
    if (text.size() > ShownAddressLength)
        text = text.left(ShownAddressLength) + QStringLiteral("...");
    return text;
}

} // namespace kestrune
