#include "stream/playerstatus.h"

namespace kestrune {

QString PlayerStatus::prebufferingText(qsizetype held) {
    return QStringLiteral("Status: Prebuffering ") + QString::number(held) + QLatin1Char('/') +
           QString::number(PrebufferThreshold) + QStringLiteral(" bytes (") +
           QString::number(held * 100 / PrebufferThreshold) + QStringLiteral("%)...");
}

void PlayerStatus::setStopped(const QString &text) {
    set(PlayerPhase::Stopped, text);
}

void PlayerStatus::setRequesting() {
    set(PlayerPhase::Requesting, RequestingText);
}

void PlayerStatus::setPrebuffering(qsizetype held) {
    const QString text = prebufferingText(held);
    set(PlayerPhase::Prebuffering, text);
    setCaption(text);
}

void PlayerStatus::setPlaying() {
    set(PlayerPhase::Playing, PlayingText);
}

void PlayerStatus::setResyncing() {
    set(PlayerPhase::Resyncing, ResyncText);
}

void PlayerStatus::setSearching(bool searching) {
    if (searching && m_phase == PlayerPhase::Stopped)
        set(PlayerPhase::Searching, m_text);
    else if (!searching && m_phase == PlayerPhase::Searching)
        set(PlayerPhase::Stopped, m_text);
}

void PlayerStatus::showDirectoryText(const QString &text) {
    setText(text);
}

void PlayerStatus::setCaption(const QString &text) {
    if (text == m_caption)
        return;
    m_caption = text;
    Q_EMIT captionChanged(m_caption);
}

void PlayerStatus::set(PlayerPhase phase, const QString &text) {
    // The text first: whoever reacts to the phase sees the panel as it now reads.
    setText(text);
    if (phase == m_phase)
        return;
    m_phase = phase;
    Q_EMIT phaseChanged(m_phase);
}

void PlayerStatus::setText(const QString &text) {
    if (text == m_text)
        return;
    m_text = text;
    Q_EMIT textChanged(m_text);
}

} // namespace kestrune
