#include "shell/ui/mainwindow.h"

#include "components/ledlabel.h"
#include "components/namedbutton.h"
#include "components/statuspanels.h"
#include "components/twips.h"
#include "core/settings.h"
#include "core/version.h"
#include "directory/directorycontroller.h"
#include "directory/ui/directorypanel.h"
#include "directory/ui/stationgrid.h"
#include "directory/ui/stationinfowindow.h"
#include "directory/ui/stationpanel.h"
#include "library/ui/librarywindow.h"
#include "recorder/recorder.h"
#include "recorder/ui/recordingpanel.h"
#include "shell/ui/aboutwindow.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/firstrundialog.h"
#include "shell/ui/helpwindow.h"
#include "shell/ui/logo.h"
#include "shell/ui/mainmenu.h"
#include "shell/ui/messagebox.h"
#include "shell/ui/optionsdialog.h"
#include "shell/ui/website.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/ui/frequencydisplay.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <lumactl/lumabox.h>

namespace kestrune {

// Off unless asked for (QT_LOGGING_RULES="kestrune.startup.info=true"); the start-up
// benchmark times the launch up to this line.
Q_LOGGING_CATEGORY(lcStartup, "kestrune.startup", QtWarningMsg)

namespace {

QFont tahoma() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    return font;
}

} // namespace

MainWindow::MainWindow(AppModel &model, const ControlLibrary &controls, QWidget *parent)
    : QMainWindow(parent)
    , m_model(model)
    , m_controls(controls) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(programIcon());
    setFont(tahoma());
    buildWidgets();
    connectModel();
    connectEngine();
    connectDirectory();
    connectRecorder();
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

LumaKit::Lumabox *MainWindow::cmbBandWidth() const {
    return m_directoryPanel->bandwidthBox();
}

LumaKit::Lumabox *MainWindow::cmbGenre() const {
    return m_directoryPanel->genreBox();
}

StationGrid *MainWindow::stationGrid() const {
    return m_directoryPanel->grid();
}

void MainWindow::buildWidgets() {
    m_menu = new MainMenu(menuBar());
    connect(m_menu, &MainMenu::Click, this, &MainWindow::menuClick);
    auto *central = new QWidget(this);
    setCentralWidget(central);
    m_directoryPanel = new DirectoryPanel(
        [this](QWidget *parent) { return m_controls.createLumabox(parent); }, central);
    m_stationPanel = new StationPanel(central);
    m_recordingPanel = new RecordingPanel(central);
    m_spectrum = new FrequencyDisplay(central);
    m_spectrum->setObjectName(QStringLiteral("MMSpectrum1"));
    m_spectrum->setMinimumSize(twipsToPixels(2200, this), twipsToPixelsY(1500, this));
    m_spectrum->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    auto *details = new QHBoxLayout;
    details->addWidget(m_stationPanel, 4, Qt::AlignTop);
    auto *right = new QVBoxLayout;
    right->addWidget(m_recordingPanel);
    right->addWidget(m_spectrum);
    details->addLayout(right, 3);

    // The player's and recorder's buttons, and the windows the main window opens.
    m_cmdStartStreaming = namedButton("cmdStartStreaming", QStringLiteral("&Play"), central);
    m_cmdStopStreaming = namedButton("cmdStopStreaming", QStringLiteral("&Stop"), central);
    m_cmdRecord = namedButton("cmdRecord", QStringLiteral("Record"), central);
    m_cmdStopRecord = namedButton("cmdStopRecord", QStringLiteral("St&op record"), central);
    m_cmdStationInfo = namedButton("cmdStationInfo", QStringLiteral("Station &Info"), central);
    m_setupButton = namedButton("Command1", QStringLiteral("Se&tup"), central);
    m_libraryButton = namedButton("Command4", QStringLiteral("Recording Library"), central);
    for (QPushButton *b : {m_cmdStartStreaming, m_cmdRecord, m_cmdStopRecord, m_cmdStationInfo})
        b->setEnabled(false);
    setRecordAvailable(false);
    setStationInfoAvailable(false);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_cmdStartStreaming, m_cmdStopStreaming, m_cmdRecord, m_cmdStopRecord})
        buttons->addWidget(b);
    buttons->addStretch();
    for (QPushButton *b : {m_cmdStationInfo, m_setupButton, m_libraryButton})
        buttons->addWidget(b);

    auto *layout = new QVBoxLayout(central);
    layout->addWidget(m_directoryPanel, 1);
    layout->addLayout(details);
    layout->addLayout(buttons);
    layout->addWidget(m_stationPanel->headerView());

    m_statusBar = new StatusPanels(this);
    setStatusBar(m_statusBar);
    m_statusBar->setPanelText(1, m_model.status().text());
    m_statusBar->setPanelText(3, QStringLiteral("Recording: Off"));
}

void MainWindow::Load(AboutWindow *splash) {
    resize(twipsToPixels(WidthTwips, this), twipsToPixelsY(HeightTwips, this));
    setWindowTitle(ProgramTitle + QStringLiteral(" v") + versionText());
    m_model.settings().LoadSettings();
    m_directoryPanel->fillChoices();

    if (splash) {
        splash->close();
        splash->deleteLater();
    }
    QCoreApplication::processEvents();
    show();
    qCInfo(lcStartup, "main window shown");

    if (m_model.settings().firstSetup().isEmpty()) {
        // Still not completed (its answer could not be stored): ask again, without blocking
        // the event loop; the answer goes into the bandwidth box when the dialog closes.
        m_firstRun = new FirstRunDialog(m_controls, m_model.settings(), this);
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
    if (LumaKit::Lumabox *box = cmbBandWidth())
        box->Text(m_model.settings().firstSetup());
}

void MainWindow::connectModel() {
    PlayerStatus &status = m_model.status();
    connect(&status, &PlayerStatus::textChanged, this,
            [this](const QString &text) { m_statusBar->setPanelText(1, text); });
    connect(&status, &PlayerStatus::captionChanged, stationGrid(), &StationGrid::setCaption);
    connect(&m_model, &AppModel::busyChanged, this, &MainWindow::setBusy);
    connect(&m_model, &AppModel::message, this,
            [this](const QString &text, MessageIcon icon) { openMessage(this, text, icon); });
    connect(&m_model, &AppModel::labelChanged, this, [this](StationLabel which, const QString &t) {
        StationPanel *p = m_stationPanel;
        QLabel *labels[] = {p->stationLabel(), p->genreLabel(),     p->linkLabel(),
                            p->bitrateLabel(), p->serverUrlLabel(), p->artistLabel()};
        labels[int(which)]->setText(t);
    });
}

void MainWindow::connectEngine() {
    StreamEngine &engine = m_model.engine();
    ConnectionManager *c = &m_model.connection();
    m_stationPanel->attach(engine, *c);
    StreamIntake &intake = engine.intake();
    connect(&intake, &StreamIntake::bufferStatus, this,
            [this](const QString &text) { m_statusBar->setPanelText(2, text); });
    connect(&intake, &StreamIntake::nowPlayingPollRequested, this, &MainWindow::Timer2Tick);

    connect(c, &ConnectionManager::downloadedText, this,
            [this](const QString &text) { m_statusBar->setPanelText(4, text); });
    connect(c, &ConnectionManager::fileToRecordText, m_recordingPanel->fileLabel(),
            &QLabel::setText);
    connect(c, &ConnectionManager::recordAvailable, this, &MainWindow::setRecordAvailable);
    connect(m_cmdStartStreaming, &QPushButton::clicked, this, &MainWindow::StartStreaming);
    connect(m_cmdStopStreaming, &QPushButton::clicked, this, &MainWindow::StopStreaming);
    for (QPushButton *b : {m_cmdStationInfo, m_setupButton, m_libraryButton})
        connect(b, &QPushButton::clicked, this, [this, b] { openWindowFor(b); });
}

void MainWindow::connectDirectory() {
    m_directoryPanel->attach(m_model.directory());
    connect(&m_model.directory(), &DirectoryController::titleChanged, this,
            &QWidget::setWindowTitle);
    StationGrid *grid = m_directoryPanel->grid();
    connect(grid, &StationGrid::rowSelected, this, &MainWindow::SelectStation);
    connect(grid, &StationGrid::rowDoubleClicked, this, [this](int row) {
        SelectStation(row);
        StartStreaming();
    });
}

void MainWindow::SelectStation(int row) {
    m_model.selectStation(row);
}

void MainWindow::connectRecorder() {
    Recorder *recorder = &m_model.recorder();
    connect(m_cmdRecord, &QPushButton::clicked, recorder, &Recorder::Record);
    connect(m_cmdStopRecord, &QPushButton::clicked, recorder, &Recorder::StopRecord);
    connect(recorder, &Recorder::fileToRecordText, m_recordingPanel->fileLabel(), &QLabel::setText);
    connect(recorder, &Recorder::recordingChanged, this, [this](bool recording) {
        m_statusBar->setPanelText(3, recording ? QStringLiteral("Recording: On")
                                               : QStringLiteral("Recording: Off"));
        m_cmdStopRecord->setEnabled(recording);
        // Back on at the next status tick while the stream plays.
        setRecordAvailable(false);
        m_recordingPanel->setLedVisible(recording);
        m_recordingPanel->sizeLabel()->setText(QStringLiteral("None"));
    });
    connect(&m_model, &AppModel::stopWhileRecordingRequested, this, &MainWindow::StopStreaming,
            Qt::QueuedConnection);
}

void MainWindow::afterRecordingWarning(RecWarningDialog::Kind kind, std::function<void()> action) {
    if (!m_model.recording().IsRecording) {
        action();
        return;
    }
    // One question at a time; an answer counts only for the question asked.
    if (m_warning)
        return;
    m_warning = new RecWarningDialog(kind, this);
    m_warning->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_warning, &QDialog::finished, this, [this, kind, action](int result) {
        if (result != QDialog::Accepted)
            return;
        if (kind == RecWarningDialog::Kind::StopRecording)
            m_model.recorder().StopRecord();
        action();
    });
    QTimer::singleShot(0, m_warning, [warning = m_warning] { warning->open(); });
}

void MainWindow::openStationInfo() {
    auto *window = new StationInfoWindow(
        m_model.label(StationLabel::Link), m_model.label(StationLabel::ServerUrl),
        [this] { return m_model.tracker().icecastHistory(); }, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->open();
}

void MainWindow::openLibrary() {
    const RecordingState &recording = m_model.recording();
    auto *window = new LibraryWindow(
        m_model.settings().RecOutputDir,
        [&recording] { return recording.IsRecording ? recording.RecFileName : QString(); }, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    window->open();
}

void MainWindow::StartStreaming() {
    afterRecordingWarning(RecWarningDialog::Kind::StopRecording,
                          [this] { m_model.connection().Start(); });
}

void MainWindow::StopStreaming() {
    afterRecordingWarning(RecWarningDialog::Kind::StopRecording,
                          [this] { m_model.connection().Stop(); });
}

void MainWindow::openWindowFor(QPushButton *button) {
    afterRecordingWarning(RecWarningDialog::Kind::MayInterrupt, [this, button] {
        if (button == m_cmdStationInfo)
            openStationInfo();
        else if (button == m_libraryButton)
            openLibrary();
        else if (button == m_setupButton)
            openOptions();
    });
}

void MainWindow::setRecordAvailable(bool available) {
    m_cmdRecord->setEnabled(available);
    m_menu->setItemEnabled(MainMenu::RecordItem, available);
}

void MainWindow::setStationInfoAvailable(bool available) {
    m_cmdStationInfo->setEnabled(available);
    m_menu->setItemEnabled(MainMenu::StationInfoItem, available);
}

void MainWindow::menuClick(int number) {
    const QString key = m_menu->Key(number);
    if (key == QLatin1String("KeyExit"))
        close();
    else if (key == QLatin1String("KeyStationinfo"))
        openStationInfo();
    else if (key == QLatin1String("KeyRecordingLibrary"))
        openLibrary();
    else if (key == QLatin1String("KeyRecord"))
        m_model.recorder().Record();
    else if (key == QLatin1String("KeyOption"))
        openOptions();
    else if (key == QLatin1String("HelpIndex"))
        HTMLShowTopic(this, 1, QString(), QStringLiteral("Using kestrune.html"));
    else if (key == QLatin1String("HelpWebsite"))
        openWebsite(this);
    else if (key == QLatin1String("HelpAbout"))
        openAbout();
    // Top-level items and separators: nothing.
}

void MainWindow::openOptions() {
    // The hourglass covers building the dialog and goes once it shows.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    auto *dialog = new OptionsDialog(m_model.settings(), m_controls, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->open();
    QGuiApplication::restoreOverrideCursor();
}

void MainWindow::openAbout() {
    // Made anew each time, enlarged so its OK button shows.
    auto *about = new AboutWindow(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setWindowModality(Qt::ApplicationModal);
    about->enlarge();
    about->show();
}

void MainWindow::setBusy(bool busy) {
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void MainWindow::Timer1Tick() {
    const Timer1View view = m_model.timer1Tick();
    m_statusBar->setPanelText(2, view.bufferText);
    m_cmdStartStreaming->setEnabled(view.startEnabled);
    if (view.recordEnabled)
        setRecordAvailable(*view.recordEnabled);
    setStationInfoAvailable(view.stationInfoEnabled);
    if (view.downloadedText)
        m_statusBar->setPanelText(4, *view.downloadedText);
    if (view.blinkLed)
        m_recordingPanel->blinkLed();
    if (view.recSizeText)
        m_recordingPanel->sizeLabel()->setText(*view.recSizeText);
    if (view.ledVisible)
        m_recordingPanel->setLedVisible(*view.ledVisible);
    if (view.freeSpaceText)
        m_recordingPanel->freeSpaceLabel()->setText(*view.freeSpaceText);
}

void MainWindow::Timer2Tick() {
    const Timer2View view = m_model.timer2Tick();
    setStationInfoAvailable(view.stationInfoEnabled);
    if (view.nextSpectrumLook) {
        const int look = m_spectrum->displaySetting();
        m_spectrum->setDisplaySetting(look < 5 ? look + 1 : 0);
    }
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (m_model.recording().IsRecording && !m_closeConfirmed) {
        // No keeps the window open and the recording running; Yes tags it and closes.
        event->ignore();
        afterRecordingWarning(RecWarningDialog::Kind::StopRecording, [this] {
            m_closeConfirmed = true;
            close();
        });
        return;
    }
    m_model.connection().Stop();
    event->accept();
    Q_EMIT closed();
}

void MainWindow::changeEvent(QEvent *event) {
    // Coming back to the main window ends any busy pointer another window left behind.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        unsetCursor();
    if (event->type() == QEvent::WindowStateChange) {
        followSpectrumVisibility();
        if (!isMinimized())
            m_statusBar->showWaitingTexts();
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    followSpectrumVisibility();
}

void MainWindow::hideEvent(QHideEvent *event) {
    QMainWindow::hideEvent(event);
    followSpectrumVisibility();
}

void MainWindow::followSpectrumVisibility() {
    const bool seen = isVisible() && !isMinimized();
    if (seen == bool(m_spectrumFeed))
        return;
    FrequencyAnalyser &analyser = m_model.spectrum();
    if (seen) {
        // What it last knew, until the next analysis of what plays now.
        m_spectrum->setLevels(analyser.levels());
        m_spectrumFeed = connect(&analyser, &FrequencyAnalyser::levelsChanged, m_spectrum,
                                 &FrequencyDisplay::setLevels);
    } else {
        disconnect(m_spectrumFeed);
        m_spectrumFeed = QMetaObject::Connection();
    }
}

} // namespace kestrune
