// The recording library window: the group folders as a tree, the files of the folder chosen
// with their figures and totals, a player for one file, and Delete, Rename and MP3 Info.
#pragma once

#include "library/libraryfolder.h"
#include "library/libraryplayer.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QLCDNumber;
class QProgressBar;
class QPushButton;
class QSlider;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrune {

class LedLabel;
class LevelMeter;
class LibraryFileModel;

// How the window asks and tells. Every answer arrives through its callback, so the window
// never waits in a nested event loop; tests answer at once.
struct LibraryPrompts {
    using YesNo = std::function<void(bool yes)>;
    using Text = std::function<void(const QString &answer)>; // empty on Cancel
    std::function<void(QWidget *parent, const QString &text, const QString &title, YesNo)> askYesNo;
    std::function<void(QWidget *parent, const QString &prompt, const QString &title,
                       const QString &preset, Text)>
        askText;
    std::function<void(QWidget *parent, const QString &text)> tell;

    // Message and input boxes that return at once and answer when the user has chosen.
    static LibraryPrompts boxes();
};

class LibraryWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int TickMs = 10;               // the position display's tick
    static constexpr int ProgressAfterMs = 500;     // a folder read this long shows its progress
    static constexpr qint64 RestartWithinMs = 5000; // Play this close to the end starts again

    // `recOutputDir` is the settings' in-memory folder (a separator is appended to it, as
    // everywhere it is used); `recordingFile` names the file being recorded right now (empty
    // when none), which Delete, Rename and MP3 Info refuse.
    LibraryWindow(QString &recOutputDir, std::function<QString()> recordingFile,
                  QWidget *parent = nullptr, std::unique_ptr<LibraryPlayer> player = nullptr);
    ~LibraryWindow() override;

    void setPrompts(LibraryPrompts prompts) { m_prompts = std::move(prompts); }

    LibraryPlayer &player() { return *m_player; }
    LibraryFileModel &files() { return *m_model; }
    QTreeWidget *tree() const { return m_tree; }
    QTreeView *fileList() const { return m_list; }
    const LibraryTotals &totals() const { return m_totals; }
    // True while a folder is being read.
    bool isReading() const { return m_reading != nullptr; }

    // The buttons' and clicks' actions, also for tests and the menu.
    void Refresh();
    // Lists the files of a tree node's folder: "" is the output folder itself. Reads on a
    // worker thread; folderShown() follows.
    void showFolder(const QString &key);
    void GetTotals();
    void selectRow(int row); // a row click: the file goes to the player
    void playRow(int row);   // a row double click
    void Delete();
    void Rename();
    void MP3Info();

Q_SIGNALS:
    // The list shows a folder's files (emitted after each showFolder that was not overtaken).
    void folderShown();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Reading;
    void buildUi();
    void connectPlayer();
    void onPlay();
    void onPause();
    void tick();
    void showPosition(qint64 ms);
    void updateFileButtons();
    void showProgress();
    void folderRead(QList<LibraryEntry> entries);
    void loadIntoPlayer(int row);
    int currentRow() const;
    int rowOf(const QString &path) const;
    void selectRowQuietly(int row);
    bool refuseRecorded(const QString &path);
    void refreshEntry(const QString &path);
    QString outputDir();

    QString &m_recOutputDir;
    std::function<QString()> m_recordingFile;
    std::unique_ptr<LibraryPlayer> m_player;
    LibraryPrompts m_prompts;
    LibraryTotals m_totals;
    QString m_shownKey; // the tree key of the folder listed

    QTreeWidget *m_tree = nullptr;
    QTreeView *m_list = nullptr;
    LibraryFileModel *m_model = nullptr;
    QLabel *m_sizeLabel = nullptr; // lblSize
    QLabel *m_timeLabel = nullptr; // lblTime
    QProgressBar *m_progress = nullptr;
    QPushButton *m_refreshButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    QPushButton *m_renameButton = nullptr;
    QPushButton *m_infoButton = nullptr;
    QPushButton *m_okButton = nullptr; // Command1

    QLabel *m_fileNameLabel = nullptr;  // lblFileName
    QLabel *m_positionLabel = nullptr;  // Label1
    QLCDNumber *m_minutes = nullptr;    // mm
    QLCDNumber *m_seconds = nullptr;    // ss
    QLCDNumber *m_millis = nullptr;     // ms
    QLCDNumber *m_rateLed = nullptr;    // MMLEDPanel1
    QLCDNumber *m_bitrateLed = nullptr; // MMLEDPanel2
    LedLabel *m_modeLed = nullptr;      // MMLEDMode1
    LevelMeter *m_levels[2] = {};       // Level(0), Level(1)
    QSlider *m_slider = nullptr;        // SliderPosition
    QPushButton *m_playButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    QTimer m_timer; // Timer1
    bool m_dragging = false;

    std::unique_ptr<Reading> m_reading;
    QTimer m_progressTimer;
    QElapsedTimer m_progressElapsed; // since the read began
};

} // namespace kestrune
