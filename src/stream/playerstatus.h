// What the player is doing, kept as one value, and the two texts the window shows for it:
// status panel 1 and the station grid's caption line. Everything that changes the player's
// state writes here and nowhere else; everything that needs to know the state asks the phase,
// never the texts.
#pragma once

#include <QObject>
#include <QString>

namespace kestrune {

enum class PlayerPhase {
    // Nothing is asked of a stream server: before the first Start, after Stop, after a
    // failure, and while a station's playlist is being fetched.
    Stopped,
    // The station directory is being searched while the player is stopped. A search while
    // a stream plays leaves the player's phase alone.
    Searching,
    // A stream server has been asked for the stream; its head has not been processed yet.
    Requesting,
    // The first frames were found; the ring is filling up to the start threshold.
    Prebuffering,
    // The output is running.
    Playing,
    // The ring ran dry while playing; a fresh head is gathered to find the frames again.
    Resyncing,
};

class PlayerStatus : public QObject {
    Q_OBJECT
public:
    inline static const QString StoppedText = QStringLiteral("Status: Stopped");
    // Start's own stop, before the playlist is fetched, is written in lower case.
    inline static const QString StartStoppedText = QStringLiteral("Status: stopped");
    inline static const QString NextServerText = QStringLiteral("Status: trying next server...");
    inline static const QString RequestingText = QStringLiteral("Status: Requesting stream ...");
    inline static const QString PlayingText = QStringLiteral("Status: Playing stream");
    inline static const QString ResyncText = QStringLiteral("Status: Resync...");
    inline static const QString SearchingText = QStringLiteral("Status: Searching stations");
    // The start threshold the prebuffering figures count against, in bytes.
    static constexpr qsizetype PrebufferThreshold = 65536;

    // "Status: Prebuffering 4096/65536 bytes (6%)..."
    static QString prebufferingText(qsizetype held);

    using QObject::QObject;

    PlayerPhase phase() const { return m_phase; }
    // Status panel 1.
    const QString &text() const { return m_text; }
    // The station grid's caption line.
    const QString &caption() const { return m_caption; }

    // The player stopped; `text` says how (StoppedText, StartStoppedText, NextServerText).
    void setStopped(const QString &text = StoppedText);
    void setRequesting();
    // The ring holds `held` bytes and the output has not started: panel 1 and the caption
    // both show the figures.
    void setPrebuffering(qsizetype held);
    void setPlaying();
    void setResyncing();

    // The directory's search began or ended. Only a stopped player shows it as its phase.
    void setSearching(bool searching);
    // A text of the directory's for panel 1 ("Status: Searching stations", "Status: Ready");
    // the phase is not touched.
    void showDirectoryText(const QString &text);

    void setCaption(const QString &text);

Q_SIGNALS:
    void phaseChanged(kestrune::PlayerPhase phase);
    void textChanged(const QString &text);
    void captionChanged(const QString &text);

private:
    void set(PlayerPhase phase, const QString &text);
    void setText(const QString &text);

    PlayerPhase m_phase = PlayerPhase::Stopped;
    QString m_text = QStringLiteral("Status: stopped");
    QString m_caption;
};

} // namespace kestrune
