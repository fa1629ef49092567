// The settings store and the shared helpers, against real files in a temporary folder.
#include "core/fileutil.h"
#include "core/registry.h"
#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace kestrune;

class SettingsTest : public QObject {
    Q_OBJECT

private:
    QString read(const Registry &r, const QString &name, const QString &fallback = "fallback") {
        return r.ReadRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, name, fallback);
    }
    bool write(const Registry &r, const QString &name, const QString &value) {
        return r.WriteRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, name,
                                    RegistryType::String, value);
    }

private Q_SLOTS:
    void readsDefaultWhenKeyOrValueMissing() {
        QTemporaryDir root;
        const Registry registry(root.path());
        QCOMPARE(read(registry, "FirstSetup", ""), QString());
        QCOMPARE(read(registry, "RecStationType", "From Genre"), QString("From Genre"));
        // Reading opens, never creates: no file appears.
        QVERIFY(!QFile::exists(registry.locationOf(RegistryRoot::CurrentUser, SettingsKeyPath)));

        QVERIFY(write(registry, "ReqTimeOut", "10"));
        QCOMPARE(read(registry, "FirstSetup", "none"), QString("none"));
    }

    void writesAndReadsBackStrings() {
        QTemporaryDir root;
        const Registry registry(root.path());
        QVERIFY(write(registry, "FirstSetup", "56k modem"));
        QVERIFY(write(registry, "RecOutputDir", "/music/a, b; c=d/"));
        QVERIFY(write(registry, "RecStationType", QString::fromUtf8("Ünïcode – ok")));
        QCOMPARE(read(registry, "FirstSetup"), QString("56k modem"));
        QCOMPARE(read(registry, "RecOutputDir"), QString("/music/a, b; c=d/"));
        QCOMPARE(read(registry, "RecStationType"), QString::fromUtf8("Ünïcode – ok"));
        // Lives where the platform keeps per-user configuration, named after the key.
        QVERIFY(registry.locationOf(RegistryRoot::CurrentUser, SettingsKeyPath)
                    .endsWith("Kestrune/Kestrune.conf"));
        // A second store over the same folder sees what the first flushed.
        QCOMPARE(read(Registry(root.path()), "FirstSetup"), QString("56k modem"));
    }

    void emptyStringIsNotMissing() {
        QTemporaryDir root;
        const Registry registry(root.path());
        QVERIFY(write(registry, "RecStationType", ""));
        QCOMPARE(read(registry, "RecStationType", "From Genre"), QString(""));
    }

    void valuesTooLongForTheBufferReadAsDefault() {
        QTemporaryDir root;
        const Registry registry(root.path());
        QVERIFY(write(registry, "A", QString(2047, 'x')));
        QVERIFY(write(registry, "B", QString(2048, 'x')));
        QVERIFY(write(registry, "C", QString(5000, 'x')));
        QCOMPARE(read(registry, "A"), QString(2047, 'x'));
        QCOMPARE(read(registry, "B"), QString("fallback"));
        QCOMPARE(read(registry, "C"), QString("fallback"));
    }

    void onlyStringsAreWritten() {
        QTemporaryDir root;
        const Registry registry(root.path());
        QVERIFY(!registry.WriteRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, "X",
                                             RegistryType(4), 7));
        QCOMPARE(read(registry, "X"), QString("fallback"));
    }

    void brokenStoreGivesDefaultsAndNeverThrows() {
        QTemporaryDir root;
        const Registry registry(root.path());
        const QString file = registry.locationOf(RegistryRoot::CurrentUser, SettingsKeyPath);
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile garbage(file);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        const char junk[] = "\x00\xff[[[=\n\x01\x02 FirstSetup\n";
        garbage.write(junk, sizeof junk - 1);
        garbage.close();
        QCOMPARE(read(registry, "FirstSetup", "d"), QString("d"));

        // A store whose folder cannot be created: the write reports failure, reads default.
        QFile blocker(root.filePath("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const Registry blocked(root.filePath("blocked"));
        QVERIFY(!write(blocked, "FirstSetup", "56k modem"));
        QCOMPARE(read(blocked, "FirstSetup", ""), QString());
    }

    void loadSettingsGivesDefaultsAndCreatesRecordingsFolder() {
        QTemporaryDir root;
        QTemporaryDir program;
        const Registry registry(root.path());
        Settings settings(registry, program.path());
        settings.LoadSettings();
        const QString expected = QDir::toNativeSeparators(program.path()) + QDir::separator() +
                                 "Recordings" + QDir::separator();
        QCOMPARE(settings.RecOutputDir, expected);
        QCOMPARE(settings.RecStationType, QString("From Genre"));
        QCOMPARE(settings.ReqTimeOut, QString("15"));
        QCOMPARE(settings.DirectoryProvider, QString("Classic"));
        QVERIFY(!settings.usesRadioBrowser());
        QVERIFY(QFileInfo(expected).isDir());
        QCOMPARE(settings.firstSetup(), QString());
    }

    void defaultFolderMovesOutOfAProgramFolderWeCannotWrite() {
        // A program folder that is not a writable folder (here: not a folder at all; as
        // root, permissions alone would not stop us) sends recordings to the music folder.
        QTemporaryDir program;
        QFile notAFolder(program.filePath("kestrune"));
        QVERIFY(notAFolder.open(QIODevice::WriteOnly));
        notAFolder.close();
        const QString folder = DefaultRecOutputDir(notAFolder.fileName());
        const QString tail = QDir::separator() + QString("Kestrune Recordings") + QDir::separator();
        QVERIFY2(folder.endsWith(tail), qPrintable(folder));
        QVERIFY(!folder.startsWith(program.path()));
        QVERIFY(DefaultRecOutputDir(program.path())
                    .startsWith(QDir::toNativeSeparators(program.path())));
    }

    void recordingsFolderIsCreatedOneLevelOnly() {
        QTemporaryDir root;
        QTemporaryDir base;
        const Registry registry(root.path());
        const QString deep = base.filePath("missing/inner") + QDir::separator();
        const QString shallow = base.filePath("new") + QDir::separator();
        Settings settings(registry, base.path());

        QVERIFY(write(registry, "RecOutputDir", deep));
        settings.LoadSettings();
        QCOMPARE(settings.RecOutputDir, deep);
        QVERIFY(!QFileInfo::exists(base.filePath("missing")));

        QVERIFY(write(registry, "RecOutputDir", shallow));
        settings.LoadSettings();
        QVERIFY(QFileInfo(shallow).isDir());
    }

    void saveSettingsWritesTheFourStrings() {
        QTemporaryDir root;
        const Registry registry(root.path());
        Settings settings(registry, root.path());
        settings.RecOutputDir = "/srv/rec/";
        settings.RecStationType = "From Station Name";
        settings.ReqTimeOut = "5";
        settings.DirectoryProvider = "RadioBrowser";
        settings.SaveSettings();
        QCOMPARE(read(registry, "DirectoryProvider", ""), QString("RadioBrowser"));

        Settings again(registry, root.path());
        again.LoadSettings();
        QCOMPARE(again.RecOutputDir, QString("/srv/rec/"));
        QCOMPARE(again.RecStationType, QString("From Station Name"));
        QCOMPARE(again.ReqTimeOut, QString("5"));
        QVERIFY(again.usesRadioBrowser());
        // A value this version does not know falls back to the classic pages.
        QVERIFY(write(registry, "DirectoryProvider", "radio browser"));
        again.LoadSettings();
        QCOMPARE(again.DirectoryProvider, QString("Classic"));
        // The first-run answer is not one of them.
        QCOMPARE(again.firstSetup(), QString());
        again.setFirstSetup("DSL/Cable/LAN");
        QCOMPARE(Settings(registry, root.path()).firstSetup(), QString("DSL/Cable/LAN"));
    }

    // A stored time-out that is no positive whole number must not give a watchdog that fires
    // at once (it reconnected hundreds of times a second).
    void requestTimeOutReadsTheLeadingNumber_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("ms");
        QTest::newRow("whole") << "30" << 30000;
        QTest::newRow("fraction") << "15.5" << 15500;
        QTest::newRow("with a unit") << "10 s" << 10000;
        QTest::newRow("blanks") << " 5 " << 5000;
        QTest::newRow("zero") << "0" << 15000;
        QTest::newRow("empty") << "" << 15000;
        QTest::newRow("words") << "abc" << 15000;
        QTest::newRow("negative") << "-3" << 15000;
        QTest::newRow("below a millisecond") << "0.0001" << 15000;
        QTest::newRow("huge") << "99999999999" << std::numeric_limits<int>::max();
    }
    void requestTimeOutReadsTheLeadingNumber() {
        QFETCH(QString, stored);
        QFETCH(int, ms);
        QCOMPARE(RequestTimeOutMs(stored), ms);
    }

    void replaceTextScansOnceOverTheStartingPositions_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "Rock &amp; Roll"
                               << "&amp;"
                               << ""
                               << "Rock  Roll";
        // After the first removal the second occurrence sits where the scan has been.
        QTest::newRow("adjacent pair keeps one") << "&amp;&amp;"
                                                 << "&amp;"
                                                 << ""
                                                 << "&amp;";
        QTest::newRow("three in a row") << "&amp;&amp;&amp;"
                                        << "&amp;"
                                        << ""
                                        << "&amp;";
        QTest::newRow("separated pair") << "a&amp;b&amp;c"
                                        << "&amp;"
                                        << ""
                                        << "abc";
        QTest::newRow("find longer than text") << "ab"
                                               << "abc"
                                               << "x"
                                               << "ab";
        QTest::newRow("inserted text matches again") << "aa"
                                                     << "a"
                                                     << "ba"
                                                     << "bbaa";
        QTest::newRow("never past the starting length") << "ab"
                                                        << "b"
                                                        << "bb"
                                                        << "abb";
        QTest::newRow("case-sensitive") << "AMP amp"
                                        << "amp"
                                        << "&"
                                        << "AMP &";
        QTest::newRow("empty find changes nothing") << "abc"
                                                    << ""
                                                    << "x"
                                                    << "abc";
    }
    void replaceTextScansOnceOverTheStartingPositions() {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(QString, expected);
        QString inOut = text;
        QCOMPARE(ReplaceText(inOut, find, replacement), expected);
        QCOMPARE(inOut, expected); // changed in place too
    }

    void folderAndFileTests() {
        QTemporaryDir dir;
        const QString sep = QDir::separator();
        QVERIFY(QDir(dir.path()).mkdir("Recordings"));
        QFile file(dir.filePath("song.mp3"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QFile hidden(dir.filePath(".hidden"));
        QVERIFY(hidden.open(QIODevice::WriteOnly));
        hidden.close();

        QVERIFY(FolderExists(dir.filePath("Recordings") + sep));
        QVERIFY(!FolderExists(dir.filePath("Missing") + sep));
        QVERIFY(!FolderExists(dir.filePath("song.mp3") + sep));
        // Without the separator the name is a prefix, as the folder listing always took it.
        QVERIFY(FolderExists(dir.filePath("Record")));
        QVERIFY(!FolderExists(dir.filePath("Zz")));
        QVERIFY(!FolderExists(QString()));

        QCOMPARE(FileExists(dir.filePath("song.mp3")), QString("True"));
        QCOMPARE(FileExists(dir.filePath(".hidden")), QString("True"));
        QCOMPARE(FileExists(dir.filePath("other.mp3")), QString("False"));
        QCOMPARE(FileExists(dir.filePath("Recordings")), QString("False"));
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
