#include "core/settings.h"

#include "core/fileutil.h"
#include "core/numbertext.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace kestrune {

QString DefaultRecOutputDir(const QString &programFolder) {
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable())
        return withTrailingSeparator(QDir::toNativeSeparators(programFolder)) +
               QStringLiteral("Recordings") + pathSeparator();

    QString base = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QDir::homePath();
    return withTrailingSeparator(QDir::toNativeSeparators(base)) +
           QStringLiteral("Kestrune Recordings") + pathSeparator();
}

int RequestTimeOutMs(const QString &reqTimeOut) {
    constexpr double DefaultMs = 15000;
    constexpr double LongestMs = std::numeric_limits<int>::max();
    const double ms = LeadingNumber(reqTimeOut) * 1000.0;
    // Below a millisecond the timer would fire at once, over and over.
    if (!(ms >= 1.0))
        return int(DefaultMs);
    return int(std::min(std::round(ms), LongestMs));
}

Settings::Settings(const Registry &registry, QString programFolder)
    : m_registry(registry)
    , m_programFolder(std::move(programFolder)) {}

void Settings::LoadSettings() {
    const auto read = [this](const QString &name, const QString &fallback) {
        return m_registry.ReadRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, name,
                                            fallback);
    };
    RecOutputDir = read(SettingName::RecOutputDir, DefaultRecOutputDir(m_programFolder));
    // One level only: a folder below a missing parent is not created, and nothing is said;
    // the recorder finds out when it opens its first file.
    if (!FolderExists(RecOutputDir))
        QDir().mkdir(RecOutputDir);
    RecStationType = read(SettingName::RecStationType, SettingDefault::RecStationType);
    ReqTimeOut = read(SettingName::ReqTimeOut, SettingDefault::ReqTimeOut);
    DirectoryProvider = read(SettingName::DirectoryProvider, SettingDefault::DirectoryProvider);
    if (DirectoryProvider != DirectoryProviderValue::RadioBrowser)
        DirectoryProvider = DirectoryProviderValue::Classic;
}

void Settings::SaveSettings() const {
    const auto write = [this](const QString &name, const QString &value) {
        m_registry.WriteRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, name,
                                      RegistryType::String, value);
    };
    write(SettingName::RecOutputDir, RecOutputDir);
    write(SettingName::RecStationType, RecStationType);
    write(SettingName::ReqTimeOut, ReqTimeOut);
    write(SettingName::DirectoryProvider, DirectoryProvider);
}

QString Settings::firstSetup() const {
    return m_registry.ReadRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath,
                                        SettingName::FirstSetup, SettingDefault::FirstSetup);
}

void Settings::setFirstSetup(const QString &speed) const {
    m_registry.WriteRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath,
                                  SettingName::FirstSetup, RegistryType::String, speed);
}

} // namespace kestrune
