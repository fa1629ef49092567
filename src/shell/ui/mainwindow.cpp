#include "shell/ui/mainwindow.h"

#include "components/ledlabel.h"
#include "components/statuspanels.h"
#include "core/settings.h"
#include "core/version.h"
#include "directory/choices.h"
#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"
#include "shell/ui/aboutwindow.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/firstrundialog.h"
#include "shell/ui/logo.h"
#include "shell/ui/twips.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/ui/spectrumdisplay.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <lumactl/lumabox.h>

namespace kestrune {

// Off unless asked for (QT_LOGGING_RULES="kestrune.startup.info=true"); the start-up
// benchmark times the launch up to this line.
Q_LOGGING_CATEGORY(lcStartup, "kestrune.startup", QtWarningMsg)

namespace {

// Light grey, as the window's combo boxes are stored (0x00BBGGRR).
constexpr LumaKit::OleColor ComboBackColor = 0x00EFEFEF;

QFont tahoma() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    return font;
}

QLabel *valueLabel(const char *name, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    // Station names, genres and songs come from servers: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(40);
    return label;
}

QPushButton *button(const char *name, const QString &caption, QWidget *parent) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

MainWindow::MainWindow(Settings &settings, const ControlLibrary &controls, QWidget *parent)
    : QMainWindow(parent)
    , m_settings(settings)
    , m_controls(controls) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(programIcon());
    setFont(tahoma());
    m_engine = std::make_unique<StreamEngine>();
    buildWidgets();
    connectEngine();
    connectConnection();
    connectDirectory();
    connectStationGrid();
    m_Timer1.setObjectName(QStringLiteral("Timer1"));
    m_Timer1.setInterval(1000);
    connect(&m_Timer1, &QTimer::timeout, this, &MainWindow::Timer1Tick);
    m_Timer1.start();
    m_Timer2.setObjectName(QStringLiteral("Timer2"));
    m_Timer2.setInterval(5000);
    connect(&m_Timer2, &QTimer::timeout, this, &MainWindow::Timer2Tick);
    m_Timer2.start();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWidgets() {
    auto *central = new QWidget(this);
    setCentralWidget(central);

    // Station directory: what to look for, and the paging buttons.
    m_cmbGenre = m_controls.createLumabox(central);
    m_cmbBandWidth = m_controls.createLumabox(central);
    for (auto [box, name] :
         {std::pair{m_cmbGenre, "cmbGenre"}, std::pair{m_cmbBandWidth, "cmbBandWidth"}}) {
        if (!box)
            continue;
        box->setObjectName(QString::fromLatin1(name));
        box->BackColor(ComboBackColor);
        box->Font(tahoma());
        box->setMinimumWidth(twipsToPixels(2200, this));
    }
    m_cmdGetStations = button("cmdGetStations", QStringLiteral("&Get stations"), central);
    m_cmdPrevious = button("cmdPrevious", QStringLiteral("<<< &Previous"), central);
    m_cmdNext = button("cmdNext", QStringLiteral("&Next >>>"), central);
    m_cmdPrevious->setEnabled(false);
    m_cmdNext->setEnabled(false);

    auto *query = new QHBoxLayout;
    query->addWidget(new QLabel(QStringLiteral("Genre:"), central));
    if (m_cmbGenre)
        query->addWidget(m_cmbGenre);
    query->addSpacing(8);
    query->addWidget(new QLabel(QStringLiteral("Limit by Bandwidth:"), central));
    if (m_cmbBandWidth)
        query->addWidget(m_cmbBandWidth);
    query->addWidget(m_cmdGetStations);
    query->addStretch();
    query->addWidget(m_cmdPrevious);
    query->addWidget(m_cmdNext);

    m_ctList1 = new StationGrid(central);

    // The station playing: what the directory and the server say about it.
    auto *stationBox = new QGroupBox(QStringLiteral("Station"), central);
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

    // The servers of the station's playlist and the one in use.
    auto *serverBox = new QGroupBox(QStringLiteral("Servers"), central);
    m_List2 = new QListWidget(serverBox);
    m_List2->setObjectName(QStringLiteral("List2"));
    m_lblURL = valueLabel("lblURL", serverBox);
    m_txtStatus = new QLineEdit(serverBox);
    m_txtStatus->setObjectName(QStringLiteral("txtStatus"));
    m_txtStatus->setReadOnly(true);
    m_txtStatus->setFrame(false);
    auto *servers = new QVBoxLayout(serverBox);
    servers->addWidget(m_List2, 1);
    servers->addWidget(m_lblURL);
    servers->addWidget(m_txtStatus);

    // Recording figures.
    auto *recordBox = new QGroupBox(QStringLiteral("Recording"), central);
    m_ledRecording = new LedLabel(QStringLiteral("*** RECORDING ***"), recordBox);
    m_ledRecording->setObjectName(QStringLiteral("ledRecording"));
    m_ledRecording->hide();
    m_lblFileToRecord = valueLabel("lblFileToRecord", recordBox);
    m_lblRecSize = valueLabel("lblRecSize", recordBox);
    m_Label3 = valueLabel("Label3", recordBox);
    auto *record = new QFormLayout(recordBox);
    record->addRow(m_ledRecording);
    record->addRow(QStringLiteral("File:"), m_lblFileToRecord);
    record->addRow(QStringLiteral("Recorded:"), m_lblRecSize);
    record->addRow(QStringLiteral("Free space:"), m_Label3);

    // The grid takes the height the window has to spare; the details keep their own.
    m_List2->setMaximumHeight(twipsToPixelsY(1500, this));
    for (QGroupBox *box : {stationBox, serverBox, recordBox})
        box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    m_MMSpectrum1 = new SpectrumDisplay(central);
    m_MMSpectrum1->setObjectName(QStringLiteral("MMSpectrum1"));
    m_MMSpectrum1->setMinimumSize(twipsToPixels(2200, this), twipsToPixelsY(1500, this));
    m_MMSpectrum1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto *details = new QHBoxLayout;
    details->addWidget(stationBox, 3, Qt::AlignTop);
    details->addWidget(serverBox, 2, Qt::AlignTop);
    auto *right = new QVBoxLayout;
    right->addWidget(recordBox);
    right->addWidget(m_MMSpectrum1);
    details->addLayout(right, 2);

    // The player's and recorder's buttons, and the windows the main window opens.
    m_cmdStartStreaming = button("cmdStartStreaming", QStringLiteral("&Play"), central);
    m_cmdStopStreaming = button("cmdStopStreaming", QStringLiteral("&Stop"), central);
    m_cmdRecord = button("cmdRecord", QStringLiteral("Record"), central);
    m_cmdStopRecord = button("cmdStopRecord", QStringLiteral("St&op record"), central);
    m_cmdStationInfo = button("cmdStationInfo", QStringLiteral("Station &Info"), central);
    m_Command1 = button("Command1", QStringLiteral("Se&tup"), central);
    m_Command4 = button("Command4", QStringLiteral("Recording Library"), central);
    m_cmdStartStreaming->setEnabled(false);
    m_cmdRecord->setEnabled(false);
    m_cmdStopRecord->setEnabled(false);
    m_cmdStationInfo->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_cmdStartStreaming, m_cmdStopStreaming, m_cmdRecord, m_cmdStopRecord})
        buttons->addWidget(b);
    buttons->addStretch();
    for (QPushButton *b : {m_cmdStationInfo, m_Command1, m_Command4})
        buttons->addWidget(b);

    // The stream server's response header, for the curious and for diagnosis.
    m_txtStream = new QPlainTextEdit(central);
    m_txtStream->setObjectName(QStringLiteral("txtStream"));
    m_txtStream->setReadOnly(true);
    m_txtStream->setMaximumHeight(twipsToPixelsY(1100, this));
    m_txtStream->setPlaceholderText(QStringLiteral("Stream header"));

    auto *layout = new QVBoxLayout(central);
    layout->addLayout(query);
    layout->addWidget(m_ctList1, 1);
    layout->addLayout(details);
    layout->addLayout(buttons);
    layout->addWidget(m_txtStream);

    m_statusBar = new StatusPanels(this);
    setStatusBar(m_statusBar);
    m_statusBar->setPanelText(1, QStringLiteral("Status: stopped"));
    m_statusBar->setPanelText(3, QStringLiteral("Recording: Off"));
}

void MainWindow::Load(AboutWindow *splash) {
    resize(twipsToPixels(WidthTwips, this), twipsToPixelsY(HeightTwips, this));
    setWindowTitle(ProgramTitle + QStringLiteral(" v") + versionText());
    m_settings.LoadSettings();
    m_directory.DirectoryUrl = DirectoryHost() + QStringLiteral("/directory/?bitrate=999");
    m_engine->sampleRates().Fill();
    if (m_cmbBandWidth) {
        for (const QString &entry : BandwidthEntries())
            m_cmbBandWidth->AddItem(entry);
        m_cmbBandWidth->ListIndex(0);
    }
    if (m_cmbGenre) {
        for (const QString &entry : GenreEntries())
            m_cmbGenre->AddItem(entry);
        m_cmbGenre->ListIndex(InitialGenreIndex);
    }
    m_directory.MaxBitrate = NoBitrateLimit;

    if (splash) {
        splash->close();
        splash->deleteLater();
    }
    QCoreApplication::processEvents();
    show();
    qCInfo(lcStartup, "main window shown");

    if (m_settings.firstSetup().isEmpty()) {
        // Still not completed (its answer could not be stored): ask again, without blocking
        // the event loop; the answer goes into the bandwidth box when the dialog closes.
        m_firstRun = new FirstRunDialog(m_controls, m_settings, this);
        m_firstRun->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_firstRun, &QDialog::finished, this, [this](int result) {
            if (result == QDialog::Rejected) {
                Q_EMIT endProgramRequested(0);
                return;
            }
            applyStoredSpeed();
        });
        m_firstRun->open();
        return;
    }
    applyStoredSpeed();
}

void MainWindow::applyStoredSpeed() {
    if (m_cmbBandWidth)
        m_cmbBandWidth->Text(m_settings.firstSetup());
}

const SampleRateTable &MainWindow::sampleRates() const {
    return m_engine->sampleRates();
}

void MainWindow::connectEngine() {
    StreamIntake &intake = m_engine->intake();
    connect(&intake, &StreamIntake::statusText, this, &MainWindow::showStatus);
    connect(&intake, &StreamIntake::gridCaption, m_ctList1, &StationGrid::setCaption);
    connect(&intake, &StreamIntake::bufferStatus, this,
            [this](const QString &text) { m_statusBar->setPanelText(2, text); });
    connect(&intake, &StreamIntake::streamTextChanged, m_txtStream, &QPlainTextEdit::setPlainText);
    connect(&intake, &StreamIntake::sampleRateText, m_lblSampleRate, &QLabel::setText);
    connect(&intake, &StreamIntake::bitrateText, m_lblBitrate, &QLabel::setText);
    connect(&intake, &StreamIntake::channelsText, m_lblChannels, &QLabel::setText);
    connect(&intake, &StreamIntake::stationInfoRequested, this, &MainWindow::GetStationInfo);
    connect(&intake, &StreamIntake::stopRequested, this, &MainWindow::StopStreaming);
    connect(&intake, &StreamIntake::nowPlayingPollRequested, this, &MainWindow::Timer2Tick);
    connect(&intake, &StreamIntake::artistRequested, this, &MainWindow::GetArtist);
    connect(&intake, &StreamIntake::cursorReset, this, [this] { unsetCursor(); });
    connect(&intake, &StreamIntake::message, this, &MainWindow::showMessage);
    connect(&m_engine->client(), &HTTPStream::Status, m_txtStatus, &QLineEdit::setText);
    connect(&m_engine->client(), &HTTPStream::messageRequested, this, &MainWindow::showMessage);
    connect(&m_engine->spectrum(), &SpectrumAnalyser::levelsChanged, m_MMSpectrum1,
            &SpectrumDisplay::setLevels);
    connect(m_cmdStopStreaming, &QPushButton::clicked, this, &MainWindow::StopStreaming);
}

void MainWindow::StopStreaming() {
    m_connection->Stop();
}

void MainWindow::connectConnection() {
    ConnectionManager::Host host;
    host.selectedPlaylistPath = [this] {
        return m_ctList1->selectedRow() >= 0 ? m_stations.SelectedPlaylistPath() : QString();
    };
    host.requestTimeOut = [this] { return m_settings.ReqTimeOut; };
    host.statusPanelText = [this] { return m_statusBar->panelText(1); };
    m_connection = std::make_unique<ConnectionManager>(*m_engine, DirectoryHost(), host);

    ConnectionManager *c = m_connection.get();
    connect(c, &ConnectionManager::statusText, this, &MainWindow::showStatus);
    connect(c, &ConnectionManager::downloadedText, this,
            [this](const QString &text) { m_statusBar->setPanelText(4, text); });
    connect(c, &ConnectionManager::gridCaption, m_ctList1, &StationGrid::setCaption);
    connect(c, &ConnectionManager::streamLabelsCleared, this, [this] {
        for (QLabel *label : {m_lblSampleRate, m_lblChannels, m_StationLink, m_lblArtist})
            label->clear();
    });
    connect(c, &ConnectionManager::fileToRecordText, m_lblFileToRecord, &QLabel::setText);
    connect(c, &ConnectionManager::serversChanged, this, [this](const QStringList &servers) {
        m_List2->clear();
        m_List2->addItems(servers);
    });
    connect(c, &ConnectionManager::serverSelected, this,
            [this](int row) { m_List2->setCurrentRow(row); });
    connect(c, &ConnectionManager::serverUrlText, m_lblURL, &QLabel::setText);
    connect(c, &ConnectionManager::recordAvailable, m_cmdRecord, &QWidget::setEnabled);
    connect(c, &ConnectionManager::busyCursor, this, &MainWindow::setBusy);
    connect(c, &ConnectionManager::message, this, &MainWindow::showMessage);
    connect(m_List2, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { m_connection->ServerClicked(m_List2->row(item)); });
    connect(m_cmdStartStreaming, &QPushButton::clicked, c, &ConnectionManager::Start);
    for (QPushButton *b : {m_cmdStationInfo, m_Command1, m_Command4})
        connect(b, &QPushButton::clicked, this, [this, b] { openWindowFor(b); });
}

void MainWindow::connectDirectory() {
    m_directoryController =
        std::make_unique<DirectoryController>(m_directory, m_settings.programFolder());
    DirectoryController *d = m_directoryController.get();
    d->setCaptionSource([this] { return m_ctList1->caption(); });
    d->setBandwidthSource([this] { return m_cmbBandWidth ? m_cmbBandWidth->Text() : QString(); });
    connect(m_cmdGetStations, &QPushButton::clicked, this, [this] {
        m_directoryController->getStations(m_cmbGenre ? m_cmbGenre->Text() : QString(),
                                           m_cmbBandWidth ? m_cmbBandWidth->Text() : QString(),
                                           m_ctList1->caption());
    });
    connect(m_cmdNext, &QPushButton::clicked, d, &DirectoryController::next);
    connect(m_cmdPrevious, &QPushButton::clicked, d, &DirectoryController::previous);
    for (LumaKit::Lumabox *box : {m_cmbGenre, m_cmbBandWidth}) {
        if (box)
            connect(signalsOf(box), &LumaboxSignals::clicked, d,
                    &DirectoryController::selectionChanged);
    }
    connect(d, &DirectoryController::busyChanged, this, &MainWindow::setBusy);
    connect(d, &DirectoryController::getStationsEnabled, m_cmdGetStations, &QWidget::setEnabled);
    connect(d, &DirectoryController::statusText, this, &MainWindow::showStatus);
    connect(d, &DirectoryController::captionChanged, m_ctList1, &StationGrid::setCaption);
    connect(d, &DirectoryController::titleChanged, this, &QWidget::setWindowTitle);
    connect(d, &DirectoryController::gridCleared, this, [this] {
        m_ctList1->clear();
        m_stations.clear();
    });
    connect(d, &DirectoryController::rowAdded, m_ctList1, &StationGrid::addRow);
    connect(d, &DirectoryController::playlistPathsChanged, this,
            [this](const QStringList &paths) { m_stations.setPaths(paths); });
    connect(d, &DirectoryController::nextEnabled, m_cmdNext, &QWidget::setEnabled);
    connect(d, &DirectoryController::previousEnabled, m_cmdPrevious, &QWidget::setEnabled);
    connect(d, &DirectoryController::closePlaylistSocketRequested, this,
            [this] { m_connection->ClosePlaylistSocket(); });
    connect(d, &DirectoryController::message, this, &MainWindow::showMessage);
}

void MainWindow::connectStationGrid() {
    connect(m_ctList1, &StationGrid::rowSelected, this, &MainWindow::SelectStation);
    connect(m_ctList1, &StationGrid::rowDoubleClicked, this, [this](int row) {
        SelectStation(row);
        m_connection->Start();
    });
}

void MainWindow::SelectStation(int row) {
    if (!m_stations.select(row))
        return;
    m_lblGenre->setText(m_ctList1->cellText(row, 1));
    m_lblBitrate->setText(m_ctList1->cellText(row, 3));
    m_lblStation->setText(m_ctList1->itemText(row));
}

void MainWindow::GetStationInfo() {
    const AnnouncedStation station = kestrune::GetStationInfo(m_txtStream->toPlainText());
    if (station.name)
        m_lblStation->setText(*station.name);
    if (station.genre)
        m_lblGenre->setText(*station.genre);
    if (station.url)
        m_StationLink->setText(*station.url);
}

void MainWindow::openWindowFor(QPushButton *button) {
    // While recording, the recording warning comes first and its Cancel keeps the window
    // closed; the warning comes with the recorder, as do the station information, options
    // and library windows these buttons open. Until then there is nothing to open.
    Q_UNUSED(button);
}

void MainWindow::setBusy(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void MainWindow::showStatus(const QString &text) {
    m_statusBar->setPanelText(1, text);
}

namespace {

// A number after one blank, as the status line writes counts.
QString signedNumber(qint64 n) {
    return n < 0 ? QString::number(n) : QStringLiteral(" ") + QString::number(n);
}

} // namespace

void MainWindow::Timer1Tick() {
    const qsizetype held = m_engine->ring().BytesHeld();
    m_statusBar->setPanelText(2, StreamIntake::bufferText(held));
    const bool playing = m_statusBar->panelText(1) == StreamIntake::PlayingText;
    const int server = m_connection->selectedServer() + 1;
    const int servers = int(m_connection->servers().size());
    if (playing) {
        m_connection->TimerConnect().stop();
        m_ctList1->setCaption(QStringLiteral(" Playing stream (Server") + signedNumber(server) +
                              QStringLiteral(" of") + signedNumber(servers) + QStringLiteral(")"));
        m_cmdStartStreaming->setEnabled(false);
        if (!m_recording.IsRecording) {
            m_cmdRecord->setEnabled(true);
            m_lblRecSize->setText(QStringLiteral("None"));
            m_ledRecording->hide();
        }
        m_cmdStationInfo->setEnabled(true);
        const qint64 downloaded = m_engine->client().DownloadedBytes();
        m_statusBar->setPanelText(4, DownloadedText(downloaded));
        if (m_recording.IsRecording) {
            m_ledRecording->setLitColor(m_ledRecording->litColor() == LedLabel::BrightGreen
                                            ? LedLabel::DarkGreen
                                            : LedLabel::BrightGreen);
            m_ctList1->setCaption(QStringLiteral(" Playing & recording stream. (Server ") +
                                  signedNumber(server) + QStringLiteral(" of") +
                                  signedNumber(servers) + QStringLiteral(")"));
            const QString elapsed = TimeDiff(m_recording.RecordStartTime, m_LastTickTime, false);
            m_lblRecSize->setText(RecordedText(elapsed, downloaded - m_recording.RecordStartBytes));
            m_ledRecording->show();
            m_LastTickTime = QDateTime::currentDateTime();
            if (GetFreeSpace(m_recording.RecFileName, m_freeSpace))
                m_Label3->setText(m_freeSpace.DiskFreeText.toString() + QStringLiteral(" (") +
                                  QString::number(m_freeSpace.DiskFreePercent) +
                                  QStringLiteral("%)"));
        }
    } else {
        const bool selected = m_stations.hasSelection();
        m_cmdStartStreaming->setEnabled(selected);
        if (m_statusBar->panelText(1) == ConnectionManager::RequestingText) {
            m_ctList1->setCaption(
                ConnectionManager::requestingCaption(server, servers, QStringLiteral(" of")));
        } else if (selected && !m_ctList1->caption().contains(QStringLiteral("Prebuffering")) &&
                   !m_ctList1->caption().contains(QStringLiteral("Loading stations"))) {
            m_ctList1->setCaption(signedNumber(m_ctList1->rowCount()) +
                                  QStringLiteral(" stations found"));
        }
        m_cmdRecord->setEnabled(false);
        m_cmdStationInfo->setEnabled(false);
    }
    const QString status = m_statusBar->panelText(1);
    if (status.contains(QStringLiteral("Resync")) ||
        status.contains(QStringLiteral("Prebuffering")))
        m_cmdRecord->setEnabled(false);
}

void MainWindow::Timer2Tick() {
    if (m_statusBar->panelText(1) == StreamIntake::PlayingText) {
        GetArtist();
        m_cmdStationInfo->setEnabled(true);
        const int setting = m_MMSpectrum1->displaySetting();
        m_MMSpectrum1->setDisplaySetting(setting < 5 ? setting + 1 : 0);
    } else {
        m_cmdStationInfo->setEnabled(false);
    }
}

void MainWindow::showMessage(const QString &text) {
    // No nested event loop: this may be called from inside a network handler, which must
    // return before anything else happens.
    auto *box = new QMessageBox(QMessageBox::NoIcon, ProgramTitle, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("message"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::closeEvent(QCloseEvent *event) {
    StopStreaming();
    event->accept();
    Q_EMIT closed();
}

void MainWindow::changeEvent(QEvent *event) {
    // Coming back to the main window ends any busy pointer another window left behind.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        unsetCursor();
    QMainWindow::changeEvent(event);
}

} // namespace kestrune
