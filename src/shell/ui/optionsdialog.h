// The options dialog "Kestrune Setup": the recordings folder, how recording folders are
// named, how long a station may take to answer, and which station directory is asked. It edits a
// copy: OK applies the values to the running program and stores them, Cancel leaves everything as
// it was.
#pragma once

#include <QDialog>

#include <functional>

namespace LumaKit {
class Lumabox;
}

namespace kestrune {

class ControlLibrary;
class FolderBrowser;
class Settings;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // The entries of the two lists.
    static const QStringList &DirectoryEntries(); // "From Station Name", "From Genre"
    static const QStringList &TimeOutEntries();   // "5", "10", "15" (seconds)
    // "Classic directory pages", "Radio Browser": the stored DirectoryProvider values in turn.
    static const QStringList &ProviderEntries();
    static inline const QString BlankFolderMessage =
        QStringLiteral("Please choose a folder for the recordings.");

    OptionsDialog(Settings &settings, const ControlLibrary &controls, QWidget *parent = nullptr);

    // Where a refusal is said; by default a message box that does not block.
    void setMessageHandler(std::function<void(const QString &text)> handler);

    FolderBrowser *folderChooser() const { return m_folder; }
    LumaKit::Lumabox *directoryBox() const { return m_cmbDirectory; }
    LumaKit::Lumabox *timeOutBox() const { return m_cmbTimeOut; }
    LumaKit::Lumabox *providerBox() const { return m_cmbProvider; }

private:
    // OK: refuses a blank folder; otherwise applies the four values, stores them, closes.
    void onOk();

    Settings &m_settings;
    FolderBrowser *m_folder = nullptr;
    LumaKit::Lumabox *m_cmbDirectory = nullptr;
    LumaKit::Lumabox *m_cmbTimeOut = nullptr;
    LumaKit::Lumabox *m_cmbProvider = nullptr;
    std::function<void(const QString &)> m_message;
};

} // namespace kestrune
