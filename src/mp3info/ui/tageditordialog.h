// The MPEG file information and ID3 tag editor of the recording library: the figures the
// library's analysis knows, the header analyser's flags, and the file's ID3v1 tag to add,
// edit, save or remove. Opened modally for one file; holds nothing across openings.
//
// The file is read when the dialog is first shown (not in the constructor), so that a caller
// can set the message handler first and nothing is read for a dialog that is never shown.
#pragma once

#include "mp3info/audiofacts.h"

#include <QDialog>
#include <QString>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrune {

class TagEditorDialog : public QDialog {
    Q_OBJECT
public:
    inline static const QString Title = QStringLiteral("MPEG File Info Box + ID3 Tag Editor");
    inline static const QString RemovingTitle = QStringLiteral("Removing Tag");

    using MessageHandler = std::function<void(const QString &text, const QString &title)>;

    // `facts`: what the library's analysis found for the file (frequency, layer, bitrate).
    // `releaseFile`: makes the library's player let go of the file; called before Remove.
    TagEditorDialog(const QString &filePath, const AudioFacts &facts,
                    std::function<void()> releaseFile, QWidget *parent = nullptr);

    // Where messages go; by default a critical message box that does not block.
    void setMessageHandler(MessageHandler handler);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void load();
    void loadInfo();
    void loadTag();
    void loadMpegInfo();
    void showTagState(bool tagged);
    void addTag();
    void removeTag();
    void saveTag();
    void tell(const QString &text, const QString &title);

    QString m_filePath;
    AudioFacts m_facts;
    std::function<void()> m_releaseFile;
    MessageHandler m_messageHandler;
    bool m_loaded = false;

    QLabel *m_fileNameLabel = nullptr;
    QLabel *m_frequencyLabel = nullptr;
    QLabel *m_bitrateLabel = nullptr;
    QLabel *m_layerLabel = nullptr;
    QLabel *m_sizeLabel = nullptr;
    QLabel *m_crcLabel = nullptr;
    QLabel *m_copyrightLabel = nullptr;
    QLabel *m_originalLabel = nullptr;
    QLabel *m_emphasisLabel = nullptr;
    QLineEdit *m_titleEdit = nullptr;
    QLineEdit *m_artistEdit = nullptr;
    QLineEdit *m_albumEdit = nullptr;
    QLineEdit *m_yearEdit = nullptr;
    QLineEdit *m_commentEdit = nullptr;
    QComboBox *m_genreCombo = nullptr;
    QPushButton *m_addButton = nullptr;
    QPushButton *m_removeButton = nullptr;
    QPushButton *m_saveButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
};

} // namespace kestrune
