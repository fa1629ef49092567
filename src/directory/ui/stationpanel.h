// The station playing, as the main window shows it: what the directory and the server say
// about it, the servers of its playlist with the one in use, and the server's response header.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace kestrune {

class ConnectionManager;
class StreamEngine;

class StationPanel : public QWidget {
    Q_OBJECT
public:
    explicit StationPanel(QWidget *parent = nullptr);

    // Shows what the engine reports of the stream (format, header, client status) and what
    // the connection manager reports of the servers; a click on a server goes to it.
    void attach(StreamEngine &engine, ConnectionManager &connection);

    // A connection ended: its sample rate and channels are gone.
    void clearStreamLabels();
    void setServers(const QStringList &servers);
    void selectServer(int row);

    QLabel *stationLabel() const { return m_lblStation; }
    QLabel *genreLabel() const { return m_lblGenre; }
    QLabel *linkLabel() const { return m_StationLink; }
    QLabel *bitrateLabel() const { return m_lblBitrate; }
    QLabel *sampleRateLabel() const { return m_lblSampleRate; }
    QLabel *channelsLabel() const { return m_lblChannels; }
    QLabel *artistLabel() const { return m_lblArtist; }
    QLabel *serverUrlLabel() const { return m_lblURL; }
    QLineEdit *clientStatus() const { return m_txtStatus; }
    // The response header and the frame diagnostics; the window places it.
    QPlainTextEdit *headerView() const { return m_txtStream; }

Q_SIGNALS:
    void serverClicked(int row);

private:
    QLabel *m_lblStation = nullptr;
    QLabel *m_lblGenre = nullptr;
    QLabel *m_StationLink = nullptr;
    QLabel *m_lblBitrate = nullptr;
    QLabel *m_lblSampleRate = nullptr;
    QLabel *m_lblChannels = nullptr;
    QLabel *m_lblArtist = nullptr;
    QListWidget *m_serverList = nullptr;
    QLabel *m_lblURL = nullptr;
    QLineEdit *m_txtStatus = nullptr;
    QPlainTextEdit *m_txtStream = nullptr;
};

} // namespace kestrune
