// The about window. At its design size it ends just above its OK button and serves as the
// start-up splash; enlarged, it is the about box of the Help menu.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace kestrune {

class ActiveLink;

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    // Design size in twips; the OK button sits below it, at the top edge of 3600.
    static constexpr int DesignWidthTwips = 6375;
    static constexpr int DesignHeightTwips = 3540;
    static constexpr int EnlargedHeightTwips = 4060;
    static constexpr int OkTopTwips = 3600;

    explicit AboutWindow(QWidget *parent = nullptr);

    // Shows the window at its design size, modeless: the splash.
    void showAsSplash();
    // Grows the window so its OK button shows: the about box.
    void enlarge();

    QLabel *versionLabel() const { return m_lblVersion; }
    QPushButton *okButton() const { return m_cmdOK; }
    // The program's web address (objectName "Label6"); the shell and tests set its opener.
    ActiveLink *websiteLink() const { return m_website; }

private:
    QLabel *m_lblVersion = nullptr;
    QPushButton *m_cmdOK = nullptr;
    ActiveLink *m_website = nullptr;
    QWidget *m_picture = nullptr;
};

} // namespace kestrune
