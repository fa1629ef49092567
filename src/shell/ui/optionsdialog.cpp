#include "shell/ui/optionsdialog.h"

#include "components/folderbrowser.h"
#include "components/namedbutton.h"
#include "components/twips.h"
#include "core/settings.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/logo.h"
#include "shell/ui/messagebox.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kestrune {

const QStringList &OptionsDialog::DirectoryEntries() {
    static const QStringList entries{QStringLiteral("From Station Name"),
                                     QStringLiteral("From Genre")};
    return entries;
}

const QStringList &OptionsDialog::TimeOutEntries() {
    static const QStringList entries{QStringLiteral("5"), QStringLiteral("10"),
                                     QStringLiteral("15")};
    return entries;
}

const QStringList &OptionsDialog::ProviderEntries() {
    static const QStringList entries{QStringLiteral("Classic directory pages"),
                                     QStringLiteral("Radio Browser")};
    return entries;
}

namespace {

QString providerValue(const QString &entry) {
    return entry == OptionsDialog::ProviderEntries().value(1) ? DirectoryProviderValue::RadioBrowser
                                                              : DirectoryProviderValue::Classic;
}

QString providerEntry(const QString &value) {
    return OptionsDialog::ProviderEntries().value(
        value == DirectoryProviderValue::RadioBrowser ? 1 : 0);
}

} // namespace

OptionsDialog::OptionsDialog(Settings &settings, const ControlLibrary &controls, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_message([this](const QString &text) { openMessage(this, text); }) {
    setObjectName(QStringLiteral("frmSetup"));
    setWindowTitle(QStringLiteral("Kestrune Setup"));
    setWindowIcon(programIcon());
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSizeF(8.25);
    setFont(tahoma);

    auto *tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("SSActiveTabs1"));
    auto *panel = new QWidget(tabs);
    panel->setObjectName(QStringLiteral("SSActiveTabPanel1"));
    tabs->addTab(panel, QStringLiteral("Main"));

    auto *frame = new QGroupBox(QStringLiteral("Recording output"), panel);
    frame->setObjectName(QStringLiteral("Frame1"));
    m_folder = new FolderBrowser(frame);
    m_folder->setObjectName(QStringLiteral("RecOutputDir"));
    m_folder->setMinimumWidth(twipsToPixels(5895, this));
    m_cmbDirectory = controls.createLumabox(frame);
    m_cmbTimeOut = controls.createLumabox(frame);

    auto *inner = new QVBoxLayout(frame);
    inner->addWidget(m_folder);
    inner->addWidget(new QLabel(QStringLiteral("Directory name to be created:"), frame));
    if (m_cmbDirectory)
        inner->addWidget(m_cmbDirectory);
    inner->addWidget(new QLabel(QStringLiteral("Request station timeout in seconds:"), frame));
    if (m_cmbTimeOut)
        inner->addWidget(m_cmbTimeOut);
    inner->addStretch();
    m_cmbProvider = controls.createLumabox(panel);
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(frame);
    panelLayout->addWidget(new QLabel(QStringLiteral("Station directory:"), panel));
    if (m_cmbProvider)
        panelLayout->addWidget(m_cmbProvider);

    auto *ok = namedButton("cmdOK", QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto *cancel = namedButton("cmdCancel", QStringLiteral("&Cancel"), this);
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addLayout(buttons);

    // The values as the program runs with them now; a stored naming rule that is neither
    // entry is shown as it is.
    m_folder->setText(settings.RecOutputDir);
    if (m_cmbDirectory) {
        m_cmbDirectory->setObjectName(QStringLiteral("cmbDirectory"));
        m_cmbDirectory->Font(tahoma);
        for (const QString &entry : DirectoryEntries())
            m_cmbDirectory->AddItem(entry);
        m_cmbDirectory->Text(settings.RecStationType);
    }
    if (m_cmbTimeOut) {
        m_cmbTimeOut->setObjectName(QStringLiteral("cmbTimeOut"));
        m_cmbTimeOut->Font(tahoma);
        for (const QString &entry : TimeOutEntries())
            m_cmbTimeOut->AddItem(entry);
        m_cmbTimeOut->Text(settings.ReqTimeOut);
    }
    if (m_cmbProvider) {
        m_cmbProvider->setObjectName(QStringLiteral("cmbProvider"));
        m_cmbProvider->Font(tahoma);
        for (const QString &entry : ProviderEntries())
            m_cmbProvider->AddItem(entry);
        m_cmbProvider->Text(providerEntry(settings.DirectoryProvider));
    }
}

void OptionsDialog::setMessageHandler(std::function<void(const QString &text)> handler) {
    m_message = std::move(handler);
}

void OptionsDialog::onOk() {
    // A blank folder would put the recordings wherever the program happens to run.
    if (m_folder->text().trimmed().isEmpty()) {
        m_message(BlankFolderMessage);
        return;
    }
    m_settings.RecOutputDir = m_folder->text();
    if (m_cmbDirectory)
        m_settings.RecStationType = m_cmbDirectory->Text();
    if (m_cmbTimeOut)
        m_settings.ReqTimeOut = m_cmbTimeOut->Text();
    if (m_cmbProvider)
        m_settings.DirectoryProvider = providerValue(m_cmbProvider->Text());
    m_settings.SaveSettings();
    accept();
}

} // namespace kestrune
