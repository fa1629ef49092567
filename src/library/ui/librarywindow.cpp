#include "library/ui/librarywindow.h"

#include "components/ledlabel.h"
#include "components/levelmeter.h"
#include "components/namedbutton.h"
#include "components/valuelabel.h"
#include "core/fileutil.h"
#include "library/libraryplayer.h"
#include "library/ui/libraryfilemodel.h"
#include "mp3info/ui/tageditordialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLCDNumber>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QtConcurrent/QtConcurrentRun>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <utility>

namespace kestrune {

namespace {

constexpr int KeyRole = Qt::UserRole; // a tree node's folder name ("" for the root)
constexpr int ProgressPollMs = 100;

QLCDNumber *ledDigits(const char *objectName, int digits, QWidget *parent) {
    auto *lcd = new QLCDNumber(digits, parent);
    lcd->setObjectName(QString::fromLatin1(objectName));
    lcd->setSegmentStyle(QLCDNumber::Flat);
    lcd->setFrameShape(QFrame::NoFrame);
    lcd->setAutoFillBackground(true);
    QPalette p = lcd->palette();
    p.setColor(QPalette::Window, QColor(16, 16, 16));
    p.setColor(QPalette::WindowText, QColor(0, 255, 0));
    lcd->setPalette(p);
    lcd->setMinimumHeight(24);
    return lcd;
}

// Shows `value` with at least `digits` digits, zero-padded (the digit groups' cascade).
void showDigits(QLCDNumber *lcd, qint64 value, int digits) {
    const QString text = QStringLiteral("%1").arg(value, digits, 10, QLatin1Char('0'));
    if (lcd->digitCount() < text.size())
        lcd->setDigitCount(int(text.size()));
    lcd->display(text);
}

QString recordedMessage(const QString &path) {
    return QStringLiteral("%1 is being recorded right now; stop the recording first.")
        .arg(QFileInfo(path).fileName());
}

} // namespace

struct LibraryWindow::Reading {
    // Deleted later, not with the reading: the reading may end inside the watcher's signal.
    QFutureWatcher<QList<LibraryEntry>> *watcher = new QFutureWatcher<QList<LibraryEntry>>;
    std::shared_ptr<std::atomic_bool> cancel = std::make_shared<std::atomic_bool>(false);
    std::shared_ptr<std::atomic_int> done = std::make_shared<std::atomic_int>(0);
    std::shared_ptr<std::atomic_int> total = std::make_shared<std::atomic_int>(0);
    ~Reading() {
        cancel->store(true);
        watcher->disconnect();
        watcher->deleteLater();
    }
};

LibraryPrompts LibraryPrompts::boxes() {
    LibraryPrompts p;
    p.askYesNo = [](QWidget *parent, const QString &text, const QString &title, YesNo answer) {
        auto *box = new QMessageBox(QMessageBox::Question, title, text,
                                    QMessageBox::Yes | QMessageBox::No, parent);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        QObject::connect(box, &QMessageBox::finished, box, [box, answer](int) {
            answer(box->clickedButton() == box->button(QMessageBox::Yes));
        });
        box->open();
    };
    p.askText = [](QWidget *parent, const QString &prompt, const QString &title,
                   const QString &preset, Text answer) {
        auto *box = new QInputDialog(parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowTitle(title);
        box->setLabelText(prompt);
        box->setTextValue(preset);
        QObject::connect(box, &QInputDialog::finished, box, [box, answer](int result) {
            answer(result == QDialog::Accepted ? box->textValue() : QString());
        });
        box->open();
    };
    p.tell = [](QWidget *parent, const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Recording Library"),
                                    text, QMessageBox::Ok, parent);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    return p;
}

LibraryWindow::LibraryWindow(QString &recOutputDir, std::function<QString()> recordingFile,
                             QWidget *parent, std::unique_ptr<LibraryPlayer> player)
    : QDialog(parent)
    , m_recOutputDir(recOutputDir)
    , m_recordingFile(std::move(recordingFile))
    , m_player(player ? std::move(player) : std::make_unique<LibraryPlayer>())
    , m_prompts(LibraryPrompts::boxes()) {
    setObjectName(QStringLiteral("frmLibrary"));
    setWindowTitle(QStringLiteral("Recording Library"));
    buildUi();
    connectPlayer();
    m_timer.setParent(this); // found by its name, like the window's widgets
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &LibraryWindow::tick);
    // Ticks only while the player plays: an idle window costs nothing.
    m_progressTimer.setInterval(ProgressPollMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &LibraryWindow::showProgress);
    Refresh();
}

LibraryWindow::~LibraryWindow() {
    m_player->close();
}

QString LibraryWindow::outputDir() {
    if (m_recOutputDir.isEmpty())
        return QString();
    m_recOutputDir = withTrailingSeparator(m_recOutputDir);
    return m_recOutputDir;
}

void LibraryWindow::buildUi() {
    const QStyle *style = this->style();
    auto *top = new QVBoxLayout(this);

    auto *caption = new QLabel(QStringLiteral("Recording library:"), this);
    top->addWidget(caption);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    m_tree = new QTreeWidget(splitter);
    m_tree->setObjectName(QStringLiteral("tvRecordings"));
    m_tree->setHeaderHidden(true);
    m_tree->setSortingEnabled(false);
    m_list = new QTreeView(splitter);
    m_list->setObjectName(QStringLiteral("lstVwFiles"));
    m_model = new LibraryFileModel(this);
    m_model->setFileIcon(style->standardIcon(QStyle::SP_FileIcon));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true); // 10,000 rows lay out without measuring each
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(true);
    m_list->header()->resizeSection(LibraryFileModel::Filename, 220);
    splitter->setStretchFactor(1, 3);
    top->addWidget(splitter, 1);

    auto *totals = new QHBoxLayout;
    totals->addWidget(new QLabel(QStringLiteral("Total:"), this));
    m_sizeLabel = valueLabel("lblSize", this);
    totals->addWidget(m_sizeLabel, 1);
    totals->addWidget(new QLabel(QStringLiteral("Total time:"), this));
    m_timeLabel = valueLabel("lblTime", this);
    totals->addWidget(m_timeLabel, 1);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("folderProgress"));
    m_progress->setFormat(QStringLiteral("Reading %v of %m files"));
    m_progress->hide();
    totals->addWidget(m_progress, 1);
    top->addLayout(totals);

    auto *buttons = new QHBoxLayout;
    m_refreshButton = namedButton("cmdRefresh", QStringLiteral("&Refresh"), this);
    m_deleteButton = namedButton("cmdDelete", QStringLiteral("&Delete"), this);
    m_renameButton = namedButton("cmdRename", QStringLiteral("&Rename"), this);
    m_infoButton = namedButton("cmdMP3Info", QStringLiteral("&MP3 Info"), this);
    m_okButton = namedButton("Command1", QStringLiteral("OK"), this);
    for (QPushButton *b : {m_refreshButton, m_deleteButton, m_renameButton, m_infoButton})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(m_okButton);
    top->addLayout(buttons);

    auto *playerBox = new QGroupBox(this);
    auto *grid = new QGridLayout(playerBox);
    grid->addWidget(new QLabel(QStringLiteral("Filename:"), playerBox), 0, 0);
    m_fileNameLabel = valueLabel("lblFileName", playerBox);
    grid->addWidget(m_fileNameLabel, 0, 1, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Position:"), playerBox), 1, 0);
    m_positionLabel = valueLabel("Label1", playerBox);
    m_positionLabel->setText(QStringLiteral("---"));
    grid->addWidget(m_positionLabel, 1, 1);

    auto *digits = new QHBoxLayout;
    m_minutes = ledDigits("mm", 2, playerBox);
    m_seconds = ledDigits("ss", 2, playerBox);
    m_millis = ledDigits("ms", 3, playerBox);
    auto colon = [playerBox](const char *name) {
        auto *l = new QLabel(QStringLiteral(":"), playerBox);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    digits->addWidget(m_minutes);
    digits->addWidget(colon("Colon1"));
    digits->addWidget(m_seconds);
    digits->addWidget(colon("Colon2"));
    digits->addWidget(m_millis);
    grid->addLayout(digits, 1, 2);

    m_rateLed = ledDigits("MMLEDPanel1", 5, playerBox);
    m_rateLed->setToolTip(QStringLiteral("Sample rate, Hz"));
    m_bitrateLed = ledDigits("MMLEDPanel2", 3, playerBox);
    m_bitrateLed->setToolTip(QStringLiteral("Bit rate, kbit/s"));
    m_modeLed = new LedLabel(QString(), playerBox);
    m_modeLed->setObjectName(QStringLiteral("MMLEDMode1"));
    m_modeLed->setToolTip(QStringLiteral("Channel mode"));
    auto *leds = new QHBoxLayout;
    leds->addWidget(m_rateLed);
    leds->addWidget(m_bitrateLed);
    leds->addWidget(m_modeLed);
    grid->addLayout(leds, 1, 3, 1, 2);

    auto *meters = new QVBoxLayout;
    for (int channel = 0; channel < 2; ++channel) {
        m_levels[channel] = new LevelMeter(playerBox);
        m_levels[channel]->setObjectName(QStringLiteral("Level(%1)").arg(channel));
        meters->addWidget(m_levels[channel]);
    }
    auto *scale = new LevelScale(playerBox);
    scale->setObjectName(QStringLiteral("LevelScale"));
    meters->addWidget(scale);
    grid->addLayout(meters, 2, 0, 1, 5);

    m_slider = new QSlider(Qt::Horizontal, playerBox);
    m_slider->setObjectName(QStringLiteral("SliderPosition"));
    m_slider->setRange(0, 0);
    m_slider->setEnabled(false);
    grid->addWidget(m_slider, 3, 0, 1, 5);

    auto *transport = new QHBoxLayout;
    m_playButton = namedButton("btnPlay", QStringLiteral("&Play"), playerBox);
    m_pauseButton = namedButton("btnPause", QStringLiteral("Pau&se"), playerBox);
    m_pauseButton->setEnabled(false);
    m_stopButton = namedButton("btnStop", QStringLiteral("&Stop"), playerBox);
    m_stopButton->setEnabled(false);
    for (QPushButton *b : {m_playButton, m_pauseButton, m_stopButton})
        transport->addWidget(b);
    transport->addStretch(1);
    grid->addLayout(transport, 4, 0, 1, 5);
    grid->setColumnStretch(4, 1);
    top->addWidget(playerBox);

    connect(m_refreshButton, &QPushButton::clicked, this, &LibraryWindow::Refresh);
    connect(m_deleteButton, &QPushButton::clicked, this, &LibraryWindow::Delete);
    connect(m_renameButton, &QPushButton::clicked, this, &LibraryWindow::Rename);
    connect(m_infoButton, &QPushButton::clicked, this, &LibraryWindow::MP3Info);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { showFolder(item->data(0, KeyRole).toString()); });
    connect(m_tree, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { showFolder(item->data(0, KeyRole).toString()); });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    selectRow(current.row());
            });
    connect(m_list, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex &index) { playRow(index.row()); });
    connect(m_playButton, &QPushButton::clicked, this, &LibraryWindow::onPlay);
    connect(m_pauseButton, &QPushButton::clicked, this, &LibraryWindow::onPause);
    connect(m_stopButton, &QPushButton::clicked, this, [this] { m_player->Stop(); });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int value) {
        m_dragging = true;
        showPosition(value);
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        m_player->setPosition(m_slider->value());
        m_dragging = false;
        tick(); // paused, nothing else would show where it went
    });
    // A click on the groove or a key moves the slider without a drag: seek there too.
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && !m_slider->isSliderDown()) {
            m_player->setPosition(m_slider->sliderPosition());
            tick();
        }
    });

    resize(820, 560);
}

void LibraryWindow::connectPlayer() {
    LibraryPlayer *p = m_player.get();
    connect(p, &LibraryPlayer::started, this, [this] {
        m_timer.start();
        m_playButton->setEnabled(false);
        m_stopButton->setEnabled(true);
        m_pauseButton->setEnabled(true);
        m_slider->setEnabled(true);
    });
    connect(p, &LibraryPlayer::paused, this, [this] {
        m_timer.stop();
        tick(); // where it paused
        m_pauseButton->setText(QStringLiteral("Resume"));
        m_playButton->setEnabled(true);
    });
    connect(p, &LibraryPlayer::resumed, this, [this] {
        m_timer.start();
        m_pauseButton->setText(QStringLiteral("Pause"));
        m_playButton->setEnabled(false);
    });
    connect(p, &LibraryPlayer::stopped, this, [this] {
        m_timer.stop();
        m_playButton->setEnabled(true);
        m_stopButton->setEnabled(false);
        m_pauseButton->setText(QStringLiteral("Pause"));
        m_pauseButton->setEnabled(false);
        m_slider->setValue(0);
        m_slider->setEnabled(false);
        for (LevelMeter *meter : m_levels)
            meter->reset();
    });
    connect(p, &LibraryPlayer::played, this, [this](const QByteArray &pcm) {
        const auto [left, right] = PeakLevels(pcm);
        m_levels[0]->setLevel(left);
        m_levels[1]->setLevel(right);
    });
}

void LibraryWindow::closeEvent(QCloseEvent *event) {
    m_player->close();
    QDialog::closeEvent(event);
}

// ---------------------------------------------------------------------------------------
// The tree and the list

void LibraryWindow::Refresh() {
    m_tree->clear();
    auto *root = new QTreeWidgetItem(m_tree, {QStringLiteral("Recordings")});
    root->setData(0, KeyRole, QString());
    root->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    // An empty setting lists nothing, never the file system's root.
    const QString dir = outputDir();
    const QStringList groups = dir.isEmpty() ? QStringList() : GroupFolders(dir);
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const QString &name : groups) {
        auto *child = new QTreeWidgetItem(root, {name});
        child->setData(0, KeyRole, name);
        child->setIcon(0, folderIcon);
    }
    root->sortChildren(0, Qt::AscendingOrder);
    root->setExpanded(true);
}

void LibraryWindow::showFolder(const QString &key) {
    m_reading.reset(); // a read still running is overtaken: its result is dropped
    m_model->setEntries({});
    m_totals = LibraryTotals();
    m_shownKey = key;
    const QString dir = outputDir();
    if (dir.isEmpty()) {
        GetTotals();
        Q_EMIT folderShown();
        return;
    }
    const QString folder = key.isEmpty() ? dir : dir + key;
    setCursor(Qt::WaitCursor);
    m_reading = std::make_unique<Reading>();
    Reading *reading = m_reading.get();
    connect(reading->watcher, &QFutureWatcherBase::finished, this, [this, reading] {
        if (m_reading.get() == reading)
            folderRead(reading->watcher->result());
    });
    reading->watcher->setFuture(QtConcurrent::run(
        [folder, cancel = reading->cancel, done = reading->done, total = reading->total] {
            return ReadFolder(folder, [&](int d, int n) {
                done->store(d);
                total->store(n);
                return !cancel->load();
            });
        }));
    m_progressTimer.start();
    m_progressElapsed.start();
}

void LibraryWindow::showProgress() {
    if (!m_reading || m_progressElapsed.elapsed() < ProgressAfterMs)
        return;
    m_progress->setRange(0, std::max(1, m_reading->total->load()));
    m_progress->setValue(m_reading->done->load());
    m_progress->show();
}

void LibraryWindow::folderRead(QList<LibraryEntry> entries) {
    m_progressTimer.stop();
    m_progress->hide();
    unsetCursor();
    m_totals = TotalsOf(entries);
    m_model->setEntries(std::move(entries));
    m_reading.reset();
    GetTotals();
    Q_EMIT folderShown();
}

void LibraryWindow::GetTotals() {
    const QLocale locale;
    m_sizeLabel->setText(TotalsSizeText(m_totals, locale));
    m_timeLabel->setText(LengthText(m_totals.lengthMs));
}

int LibraryWindow::currentRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int LibraryWindow::rowOf(const QString &path) const {
    const QList<LibraryEntry> &entries = m_model->entries();
    for (int row = 0; row < entries.size(); ++row) {
        if (entries.at(row).path == path)
            return row;
    }
    return -1;
}

void LibraryWindow::selectRowQuietly(int row) {
    QItemSelectionModel *selection = m_list->selectionModel();
    const QSignalBlocker blocker(selection);
    const QModelIndex index = m_model->index(row, 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->viewport()->update();
}

// Gives the row's file to the player at position 0 (the part of a row click that a delete
// repeats for the row that takes the deleted one's place).
void LibraryWindow::loadIntoPlayer(int row) {
    const QString path = m_model->entry(row).path;
    if (m_player->fileName() != path)
        m_player->setFileName(path);
    m_fileNameLabel->setText(m_player->fileName());
    m_slider->setMaximum(int(std::min<qint64>(m_player->length(), INT_MAX)));
    m_slider->setValue(0);
    m_playButton->setEnabled(true);
    showPosition(0);
    updateFileButtons();
}

void LibraryWindow::selectRow(int row) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    loadIntoPlayer(row);
    const AudioFacts &facts = m_model->entry(row).facts;
    showDigits(m_rateLed, facts.sampleRate, 5);
    showDigits(m_bitrateLed, facts.bitrateKbps, 3);
    m_modeLed->setCaption(ChannelModeText(facts.mode));
}

void LibraryWindow::playRow(int row) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    loadIntoPlayer(row);
    onPlay();
}

bool LibraryWindow::refuseRecorded(const QString &path) {
    const QString recording = m_recordingFile ? m_recordingFile() : QString();
    if (recording.isEmpty() || QDir::cleanPath(recording) != QDir::cleanPath(path))
        return false;
    m_prompts.tell(this, recordedMessage(path));
    return true;
}

// The analysis of one file again, after the tag editor may have changed its size.
void LibraryWindow::refreshEntry(const QString &path) {
    const int row = rowOf(path);
    if (row < 0)
        return;
    LibraryEntry entry = m_model->entry(row);
    const QFileInfo info(path);
    if (!info.isFile())
        return;
    m_totals.size -= entry.size;
    m_totals.lengthMs -= entry.facts.lengthMs;
    entry.size = info.size();
    entry.modified = info.lastModified();
    entry.facts = AnalyseAudioFile(path);
    m_totals.size += entry.size;
    m_totals.lengthMs += entry.facts.lengthMs;
    m_model->replaceEntry(row, entry);
    GetTotals();
}

void LibraryWindow::Delete() {
    const int row = currentRow();
    if (row < 0) {
        GetTotals();
        return;
    }
    const LibraryEntry entry = m_model->entry(row);
    if (refuseRecorded(entry.path))
        return;
    const QString question = QStringLiteral("Delete %1 ?").arg(entry.name.trimmed());
    m_prompts.askYesNo(this, question, QStringLiteral("Delete file"), [this, entry](bool yes) {
        if (!yes) {
            GetTotals();
            return;
        }
        // The row the question named, wherever it is now.
        const int at = rowOf(entry.path);
        if (at < 0 || refuseRecorded(entry.path))
            return;
        // Free the file first; a player busy with another file keeps it until it succeeded.
        if (m_player->fileName() == entry.path) {
            m_player->close();
            m_fileNameLabel->clear();
        }
        QFile file(entry.path);
        if (!file.remove()) {
            m_prompts.tell(
                this,
                QStringLiteral("Could not delete %1: %2").arg(entry.name, file.errorString()));
            if (m_player->fileName().isEmpty() && rowOf(entry.path) >= 0)
                loadIntoPlayer(at); // it held this file: give it back
            return;
        }
        m_totals.files -= 1;
        m_totals.size -= entry.size;
        m_totals.lengthMs -= entry.facts.lengthMs;
        m_model->removeEntry(at);
        if (at < m_model->rowCount()) {
            loadIntoPlayer(at);
            selectRowQuietly(at);
        } else {
            m_player->close();
            m_fileNameLabel->clear();
            m_list->selectionModel()->clearSelection();
            updateFileButtons();
        }
        GetTotals();
    });
}

void LibraryWindow::Rename() {
    const int row = currentRow();
    if (row < 0)
        return;
    const LibraryEntry entry = m_model->entry(row);
    if (refuseRecorded(entry.path))
        return;
    m_prompts.askText(this, QStringLiteral("Enter new name: "), QStringLiteral("Rename file"),
                      entry.name, [this, entry](const QString &answer) {
                          if (answer.isEmpty() || answer == entry.name)
                              return;
                          const QString problem = RenameProblem(answer);
                          if (!problem.isEmpty()) {
                              m_prompts.tell(this, problem);
                              return;
                          }
                          const int at = rowOf(entry.path);
                          if (at < 0 || refuseRecorded(entry.path))
                              return;
                          const QString newPath =
                              QFileInfo(entry.path).absoluteDir().filePath(answer);
                          const auto failed = [&](const QString &reason) {
                              m_prompts.tell(this, QStringLiteral("Could not rename %1 to %2: %3")
                                                       .arg(entry.name, answer, reason));
                          };
                          // QFile::rename refuses an existing target too; asking first keeps the
                          // player untouched.
                          if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink()) {
                              failed(QStringLiteral("a file of that name already exists."));
                              return;
                          }
                          const bool held = m_player->fileName() == entry.path;
                          if (held)
                              m_player->close();
                          QFile file(entry.path);
                          if (!file.rename(newPath)) {
                              failed(file.errorString());
                              if (held)
                                  loadIntoPlayer(at);
                              return;
                          }
                          LibraryEntry renamed = entry;
                          renamed.name = answer;
                          renamed.path = newPath;
                          m_model->replaceEntry(at, renamed);
                          m_player->setFileName(newPath);
                          m_fileNameLabel->setText(m_player->fileName());
                          m_slider->setMaximum(int(std::min<qint64>(m_player->length(), INT_MAX)));
                          updateFileButtons();
                      });
}

void LibraryWindow::MP3Info() {
    const QString path = m_player->fileName();
    if (path.isEmpty() || refuseRecorded(path))
        return;
    const AudioFacts facts = AnalyseAudioFile(path);
    auto *dialog = new TagEditorDialog(
        path, facts, [this] { m_player->close(); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    connect(dialog, &QDialog::finished, this, [this, path] {
        refreshEntry(path);
        updateFileButtons();
    });
    dialog->open();
}

// ---------------------------------------------------------------------------------------
// The player's controls

void LibraryWindow::onPlay() {
    if (m_player->fileName().isEmpty())
        return;
    const int state = m_player->state();
    if ((state & LibraryPlayer::StatePaused) && (state & LibraryPlayer::StatePlaying)) {
        m_player->Resume();
        return;
    }
    if (m_slider->value() >= m_player->length() - RestartWithinMs)
        m_slider->setValue(0);
    m_player->setPosition(m_slider->value());
    m_player->Play();
}

void LibraryWindow::onPause() {
    if (m_player->state() & LibraryPlayer::StatePaused)
        m_player->Resume();
    else
        m_player->Pause();
}

void LibraryWindow::tick() {
    // Without a file there is no position: the read-out keeps what it shows ("---" at first).
    if (!m_dragging && !m_player->fileName().isEmpty()) {
        m_slider->setValue(int(std::min<qint64>(m_player->position(), INT_MAX)));
        showPosition(m_slider->value());
    }
    updateFileButtons();
}

void LibraryWindow::updateFileButtons() {
    const bool hasFile = !m_player->fileName().isEmpty();
    for (QPushButton *b : {m_deleteButton, m_renameButton, m_infoButton})
        b->setEnabled(hasFile);
}

void LibraryWindow::showPosition(qint64 ms) {
    m_positionLabel->setText(TimeText(ms));
    showDigits(m_minutes, ms / 60000, 2);
    showDigits(m_seconds, ms / 1000 % 60, 2);
    showDigits(m_millis, ms % 1000, 3);
}

} // namespace kestrune
