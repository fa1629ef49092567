// The program's help: pages shipped inside the program (resources under :/help/), shown in one
// help window with Back, Forward and Home. Links between the pages stay in the window; web and
// mail addresses go to the user's browser or mail program; anything else is not followed, so a
// page can never make the window read the user's files or run anything.
#pragma once

#include "shell/ui/website.h"

#include <QString>
#include <QUrl>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace kestrune {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    inline static const QString Title = QStringLiteral("Kestrune Help");
    // The page Help > Index and Home show.
    inline static const QString StartTopic = QStringLiteral("Using kestrune.html");
    // Where the pages live; a topic is a file name below it, optionally with "#anchor".
    inline static const QString PagesRoot = QStringLiteral("qrc:/help/");

    explicit HelpWindow(QWidget *parent = nullptr);

    // Defaults: QDesktopServices::openUrl and a message box that does not block.
    void setUrlOpener(UrlOpener opener);
    void setMessageFunction(PlainMessage message);

    // Shows `topic` ("Using kestrune.html", "Library.html#delete"). A topic that names no page
    // of the help is reported in a message and the window keeps what it showed; false then.
    bool showTopic(const QString &topic);

    // The address of a topic, or an empty URL when the topic leaves the help's folder.
    static QUrl topicUrl(const QString &topic);
    // Whether `url` names a page of the help (a .html file in the resources).
    static bool isHelpPage(const QUrl &url);

    QTextBrowser *browser() const { return m_browser; }
    QPushButton *backButton() const { return m_backButton; }
    QPushButton *forwardButton() const { return m_forwardButton; }
    QPushButton *homeButton() const { return m_homeButton; }

private:
    void followLink(const QUrl &link);
    bool showPage(const QUrl &page, const QString &asked);
    void tell(const QString &text);

    QTextBrowser *m_browser = nullptr;
    QPushButton *m_backButton = nullptr;
    QPushButton *m_forwardButton = nullptr;
    QPushButton *m_homeButton = nullptr;
    UrlOpener m_opener;
    PlainMessage m_message;
};

// Help > Index and every other place that shows help: shows the program's one help window on
// `topic`, creating it on first use (owned by `mainWindow`, or a top-level window of its own
// when there is none) and bringing the same window forward later, with its history. The help
// file and window name are accepted for the callers' sake and not used. Returns whether the
// topic could be shown; when it could not, the user has been told and a new window shows the
// start page instead of nothing.
bool HTMLShowTopic(QWidget *mainWindow, int helpFile, const QString &window, const QString &topic);

} // namespace kestrune
