#include "mp3info/ui/tageditordialog.h"

#include "components/namedbutton.h"
#include "mp3info/genres.h"
#include "mp3info/mpeginfo.h"
#include "mp3info/tagfile.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// "44.100 Hz, Stereo"; "22.050 Hz, Mono".
QString frequencyText(const AudioFacts &facts) {
    return QStringLiteral("%1.%2 Hz, %3")
        .arg(facts.sampleRate / 1000)
        .arg(facts.sampleRate % 1000, 3, 10, QLatin1Char('0'))
        .arg(facts.channels == 2 ? QStringLiteral("Stereo") : QStringLiteral("Mono"));
}

// "128 Kbps"; at least two digits: "08 Kbps".
QString bitrateText(const AudioFacts &facts) {
    return QStringLiteral("%1 Kbps").arg(facts.bitrateKbps, 2, 10, QLatin1Char('0'));
}

QString layerText(const AudioFacts &facts) {
    return QStringLiteral("MPEG Layer %1").arg(facts.layer);
}

// Mebibytes with two decimals, rounded: "3.82 MB".
QString sizeText(qint64 bytes) {
    const qint64 hundredths = (bytes * 100 + 512 * 1024) / (1024 * 1024);
    return QStringLiteral("%1.%2 MB")
        .arg(hundredths / 100)
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

// File data is shown as it is, never as markup.
QLabel *valueLabel(const char *objectName) {
    auto *label = new QLabel;
    label->setObjectName(QLatin1String(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLineEdit *tagEdit(const char *objectName) {
    auto *edit = new QLineEdit;
    edit->setObjectName(QLatin1String(objectName));
    return edit;
}

} // namespace

TagEditorDialog::TagEditorDialog(const QString &filePath, const AudioFacts &facts,
                                 std::function<void()> releaseFile, QWidget *parent)
    : QDialog(parent)
    , m_filePath(filePath)
    , m_facts(facts)
    , m_releaseFile(std::move(releaseFile)) {
    setObjectName(QStringLiteral("frmTag"));
    setWindowTitle(Title);
    m_messageHandler = [this](const QString &text, const QString &title) {
        auto *box = new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok, this);
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };

    m_fileNameLabel = valueLabel("lblFileName");
    m_frequencyLabel = valueLabel("lblFreq");
    m_bitrateLabel = valueLabel("lblBitrate");
    m_layerLabel = valueLabel("lblLayer");
    m_sizeLabel = valueLabel("lblSize");
    m_crcLabel = valueLabel("lblCRC");
    m_copyrightLabel = valueLabel("lblCopyright");
    m_originalLabel = valueLabel("lblOriginal");
    m_emphasisLabel = valueLabel("lblEmphasis");

    auto *mpegFrame = new QGroupBox(QStringLiteral("MPEG info"));
    auto *mpegGrid = new QGridLayout(mpegFrame);
    const std::pair<const char *, QLabel *> mpegRows[] = {
        {"Filename:", m_fileNameLabel},
        {"Frequency:", m_frequencyLabel},
        {"Bitrate:", m_bitrateLabel},
        {"Type:", m_layerLabel},
        {"Size:", m_sizeLabel},
        {"CRC:", m_crcLabel},
        {"Copyrighted:", m_copyrightLabel},
        {"Original:", m_originalLabel},
        {"Emphasis:", m_emphasisLabel},
    };
    int row = 0;
    for (const auto &[caption, value] : mpegRows) {
        mpegGrid->addWidget(new QLabel(QLatin1String(caption)), row, 0);
        mpegGrid->addWidget(value, row, 1);
        ++row;
    }
    mpegGrid->setColumnStretch(1, 1);

    m_titleEdit = tagEdit("Title");
    m_artistEdit = tagEdit("Artist");
    m_albumEdit = tagEdit("Album");
    m_yearEdit = tagEdit("Year");
    m_commentEdit = tagEdit("Comment");
    m_genreCombo = new QComboBox;
    m_genreCombo->setObjectName(QStringLiteral("Genre"));
    for (const GenreEntry &genre : GenresByName())
        m_genreCombo->addItem(genre.name, genre.number);
    m_genreCombo->setCurrentIndex(-1);

    auto *tagFrame = new QGroupBox(QStringLiteral("Tag info"));
    auto *tagGrid = new QGridLayout(tagFrame);
    const std::pair<const char *, QWidget *> tagRows[] = {
        {"Title", m_titleEdit}, {"Artist", m_artistEdit},   {"Album", m_albumEdit},
        {"Year", m_yearEdit},   {"Comment", m_commentEdit}, {"Genre", m_genreCombo},
    };
    row = 0;
    for (const auto &[caption, field] : tagRows) {
        auto *label = new QLabel(QLatin1String(caption));
        label->setBuddy(field);
        tagGrid->addWidget(label, row, 0);
        tagGrid->addWidget(field, row, 1);
        ++row;
    }
    tagGrid->setColumnStretch(1, 1);

    m_addButton = namedButton("cmdAdd", QStringLiteral("&Add ID3"));
    m_removeButton = namedButton("cmdRemove", QStringLiteral("&Remove ID3"));
    m_saveButton = namedButton("cmdSave", QStringLiteral("&Save"));
    m_cancelButton = namedButton("cmdCancel", QStringLiteral("&Cancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_removeButton);
    buttons->addStretch(1);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_cancelButton);

    auto *frames = new QHBoxLayout;
    frames->addWidget(mpegFrame);
    frames->addWidget(tagFrame, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addLayout(buttons);

    connect(m_addButton, &QPushButton::clicked, this, &TagEditorDialog::addTag);
    connect(m_removeButton, &QPushButton::clicked, this, &TagEditorDialog::removeTag);
    connect(m_saveButton, &QPushButton::clicked, this, &TagEditorDialog::saveTag);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    showTagState(false);
}

void TagEditorDialog::setMessageHandler(MessageHandler handler) {
    m_messageHandler = std::move(handler);
}

void TagEditorDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        load();
    }
}

void TagEditorDialog::load() {
    loadInfo();
    loadTag();
    loadMpegInfo();
}

void TagEditorDialog::loadInfo() {
    m_fileNameLabel->setText(QDir::toNativeSeparators(m_filePath));
    if (m_facts.valid) {
        m_frequencyLabel->setText(frequencyText(m_facts));
        m_layerLabel->setText(layerText(m_facts));
        m_bitrateLabel->setText(bitrateText(m_facts));
    }
    const QFileInfo info(m_filePath);
    if (info.isFile())
        m_sizeLabel->setText(sizeText(info.size()));
}

void TagEditorDialog::loadTag() {
    const TagLookup lookup = ReadTagFile(m_filePath);
    showTagState(lookup.tag.has_value());
    if (!lookup.tag)
        return;
    m_titleEdit->setText(lookup.tag->title);
    m_artistEdit->setText(lookup.tag->artist);
    m_albumEdit->setText(lookup.tag->album);
    m_yearEdit->setText(lookup.tag->year);
    m_commentEdit->setText(lookup.tag->comment);
    m_genreCombo->setCurrentIndex(m_genreCombo->findData(int(lookup.tag->genre)));
}

void TagEditorDialog::loadMpegInfo() {
    MpegInfo info;
    if (!ReadMpegInfo(m_filePath, info)) {
        tell(QString::fromLatin1(NotMpegText), QString::fromLatin1(NotMpegTitle));
        return;
    }
    m_crcLabel->setText(info.Crc);
    m_copyrightLabel->setText(info.Copyright.trimmed());
    m_emphasisLabel->setText(info.Emphasis.trimmed());
    m_originalLabel->setText(info.Original.trimmed());
}

void TagEditorDialog::showTagState(bool tagged) {
    m_addButton->setVisible(!tagged);
    m_removeButton->setVisible(tagged);
    m_saveButton->setEnabled(tagged);
}

void TagEditorDialog::addTag() {
    const TagResult result = AddEmptyTag(m_filePath);
    if (!result.ok) {
        tell(result.reason, windowTitle());
        return;
    }
    showTagState(true);
}

void TagEditorDialog::removeTag() {
    if (m_releaseFile)
        m_releaseFile();
    setWindowTitle(RemovingTitle);
    const TagResult result = RemoveTag(m_filePath);
    if (!result.ok) {
        setWindowTitle(Title);
        tell(result.reason, Title);
        return;
    }
    accept();
}

void TagEditorDialog::saveTag() {
    Id3v1Fields fields;
    fields.title = m_titleEdit->text();
    fields.artist = m_artistEdit->text();
    fields.album = m_albumEdit->text();
    fields.year = m_yearEdit->text();
    fields.comment = m_commentEdit->text();
    const int genreIndex = m_genreCombo->currentIndex();
    fields.genre = genreIndex < 0 ? NoGenre : quint8(m_genreCombo->itemData(genreIndex).toInt());
    const TagResult result = SaveTag(m_filePath, fields);
    if (!result.ok) {
        tell(result.reason, windowTitle());
        return;
    }
    accept();
}

void TagEditorDialog::tell(const QString &text, const QString &title) {
    if (m_messageHandler)
        m_messageHandler(text, title);
}

} // namespace kestrune
