// The program's stored settings: value names, defaults, and the three setting strings the
// rest of the program reads (recordings folder, folder naming rule, connection time-out),
// and which station directory is asked.
#pragma once

#include "core/registry.h"

#include <QString>

namespace kestrune {

// Value names under SettingsKeyPath. All are strings.
namespace SettingName {
inline const QString RecOutputDir = QStringLiteral("RecOutputDir");
inline const QString RecStationType = QStringLiteral("RecStationType");
inline const QString ReqTimeOut = QStringLiteral("ReqTimeOut");
// The connection speed picked on the first run; empty until the first-run dialog is done.
inline const QString FirstSetup = QStringLiteral("FirstSetup");
// Which station directory Get stations asks: one of the DirectoryProviderValue texts.
inline const QString DirectoryProvider = QStringLiteral("DirectoryProvider");
} // namespace SettingName

// The stored values of DirectoryProvider. Anything else reads as the classic pages, so a
// store written by a later version never leaves the program without a directory.
namespace DirectoryProviderValue {
inline const QString Classic = QStringLiteral("Classic");
inline const QString RadioBrowser = QStringLiteral("RadioBrowser");
} // namespace DirectoryProviderValue

namespace SettingDefault {
inline const QString RecStationType = QStringLiteral("From Genre");
inline const QString ReqTimeOut = QStringLiteral("15"); // seconds
inline const QString FirstSetup = QString();
inline const QString DirectoryProvider = DirectoryProviderValue::Classic;
} // namespace SettingDefault

// Default recordings folder: "Recordings" beside the program when the program's folder is
// writable (a portable install), otherwise "Kestrune Recordings" in the user's music folder
// (the home folder when there is no music folder). Ends with the platform's separator.
QString DefaultRecOutputDir(const QString &programFolder);

// The connection time-out a "ReqTimeOut" text stands for, in milliseconds: the number the
// text starts with, in seconds ("15.5" is 15.5 s, "10 s" is 10 s). A text that gives no
// positive number ("0", "", "abc") gives the default 15 s, never a watchdog that fires at once;
// a very large one stops at the longest interval a timer can hold.
int RequestTimeOutMs(const QString &reqTimeOut);

class Settings {
public:
    Settings(const Registry &registry, QString programFolder);

    // Fills the four strings from the store (defaults where a value is missing) and creates
    // the recordings folder when it does not exist yet - one level only, silently.
    void LoadSettings();
    // Writes RecOutputDir, RecStationType, ReqTimeOut and DirectoryProvider, in that order.
    void SaveSettings() const;

    // Reads FirstSetup afresh each time: it has no copy in memory.
    QString firstSetup() const;
    void setFirstSetup(const QString &speed) const;

    const Registry &registry() const { return m_registry; }
    const QString &programFolder() const { return m_programFolder; }

    // Empty until LoadSettings; afterwards always a value (stored or default). The options
    // dialog changes them directly.
    QString RecOutputDir;
    QString RecStationType;
    QString ReqTimeOut;
    QString DirectoryProvider;

    bool usesRadioBrowser() const {
        return DirectoryProvider == DirectoryProviderValue::RadioBrowser;
    }

private:
    const Registry &m_registry;
    QString m_programFolder;
};

} // namespace kestrune
