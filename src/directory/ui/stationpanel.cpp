#include "directory/ui/stationpanel.h"

#include "components/twips.h"
#include "components/valuelabel.h"
#include "stream/connection.h"
#include "stream/engine.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace kestrune {

StationPanel::StationPanel(QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("stationPanel"));

    auto *stationBox = new QGroupBox(QStringLiteral("Station"), this);
    m_lblStation = valueLabel("lblStation", stationBox);
    m_lblGenre = valueLabel("lblGenre", stationBox);
    m_StationLink = valueLabel("StationLink", stationBox);
    m_lblBitrate = valueLabel("lblBitrate", stationBox);
    m_lblSampleRate = valueLabel("lblSampleRate", stationBox);
    m_lblChannels = valueLabel("lblChannels", stationBox);
    m_lblArtist = valueLabel("lblArtist", stationBox);
    auto *info = new QFormLayout(stationBox);
    info->addRow(QStringLiteral("Station:"), m_lblStation);
    info->addRow(QStringLiteral("Genre:"), m_lblGenre);
    info->addRow(QStringLiteral("URL:"), m_StationLink);
    info->addRow(QStringLiteral("Bitrate:"), m_lblBitrate);
    info->addRow(QStringLiteral("Samplerate:"), m_lblSampleRate);
    info->addRow(QStringLiteral("Channels:"), m_lblChannels);
    info->addRow(QStringLiteral("Artist:"), m_lblArtist);

    auto *serverBox = new QGroupBox(QStringLiteral("Servers"), this);
    m_serverList = new QListWidget(serverBox);
    m_serverList->setObjectName(QStringLiteral("List2"));
    m_serverList->setMaximumHeight(twipsToPixelsY(1500, this));
    m_lblURL = valueLabel("lblURL", serverBox);
    m_txtStatus = new QLineEdit(serverBox);
    m_txtStatus->setObjectName(QStringLiteral("txtStatus"));
    m_txtStatus->setReadOnly(true);
    m_txtStatus->setFrame(false);
    auto *servers = new QVBoxLayout(serverBox);
    servers->addWidget(m_serverList, 1);
    servers->addWidget(m_lblURL);
    servers->addWidget(m_txtStatus);
    connect(m_serverList, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { Q_EMIT serverClicked(m_serverList->row(item)); });

    for (QGroupBox *box : {stationBox, serverBox})
        box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stationBox, 3, Qt::AlignTop);
    layout->addWidget(serverBox, 2, Qt::AlignTop);

    // Not laid out here: the window puts the header below its buttons.
    m_txtStream = new QPlainTextEdit(this);
    m_txtStream->setObjectName(QStringLiteral("txtStream"));
    m_txtStream->setReadOnly(true);
    m_txtStream->setMaximumHeight(twipsToPixelsY(1100, this));
    m_txtStream->setPlaceholderText(QStringLiteral("Stream header"));
}

void StationPanel::attach(StreamEngine &engine, ConnectionManager &connection) {
    StreamIntake &intake = engine.intake();
    connect(&intake, &StreamIntake::streamTextChanged, m_txtStream, &QPlainTextEdit::setPlainText);
    connect(&intake, &StreamIntake::sampleRateText, m_lblSampleRate, &QLabel::setText);
    connect(&intake, &StreamIntake::bitrateText, m_lblBitrate, &QLabel::setText);
    connect(&intake, &StreamIntake::channelsText, m_lblChannels, &QLabel::setText);
    connect(&engine.client(), &HTTPStream::Status, m_txtStatus, &QLineEdit::setText);
    ConnectionManager *c = &connection;
    connect(c, &ConnectionManager::streamLabelsCleared, this, &StationPanel::clearStreamLabels);
    connect(c, &ConnectionManager::serversChanged, this, &StationPanel::setServers);
    connect(c, &ConnectionManager::serverSelected, this, &StationPanel::selectServer);
    connect(this, &StationPanel::serverClicked, c, &ConnectionManager::ServerClicked);
}

void StationPanel::clearStreamLabels() {
    for (QLabel *label : {m_lblSampleRate, m_lblChannels})
        label->clear();
}

void StationPanel::setServers(const QStringList &servers) {
    m_serverList->clear();
    m_serverList->addItems(servers);
}

void StationPanel::selectServer(int row) {
    m_serverList->setCurrentRow(row);
}

} // namespace kestrune
