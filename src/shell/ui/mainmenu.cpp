#include "shell/ui/mainmenu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>

#include <array>
#include <map>

namespace kestrune {

namespace {

enum class Kind { Item, Separator };

struct Row {
    const char *parent; // the parent's key; empty for the menu bar
    const char *key;
    Kind kind;
    const char *caption;
    const char *themeIcon;            // from the desktop's icon theme, when it has it
    QStyle::StandardPixmap styleIcon; // the fall-back that comes with the program
};

constexpr QStyle::StandardPixmap NoIcon = QStyle::SP_CustomBase;
constexpr QStyle::StandardPixmap RecordDot = QStyle::StandardPixmap(QStyle::SP_CustomBase + 1);

constexpr std::array<Row, 14> Rows{{
    {"", "keyFile", Kind::Item, "&File", nullptr, NoIcon},
    {"keyFile", "KeyExit", Kind::Item, "E&xit", "application-exit", QStyle::SP_DialogCloseButton},
    {"", "keyTools", Kind::Item, "&Tools", nullptr, NoIcon},
    {"keyTools", "KeyStationinfo", Kind::Item, "&Station info", "dialog-information",
     QStyle::SP_MessageBoxInformation},
    {"keyTools", "KeyRecordingLibrary", Kind::Item, "&Recording library", "folder-music",
     QStyle::SP_DirIcon},
    {"keyTools", "", Kind::Separator, "", nullptr, NoIcon},
    {"keyTools", "KeyRecord", Kind::Item, "&Record", "media-record", RecordDot},
    {"", "keyOptions", Kind::Item, "&Options", nullptr, NoIcon},
    {"keyOptions", "KeyOption", Kind::Item, "&General options", "preferences-system",
     QStyle::SP_FileDialogDetailedView},
    {"", "keyHelp", Kind::Item, "&Help", nullptr, NoIcon},
    {"keyHelp", "HelpIndex", Kind::Item, "&Index", "help-contents", QStyle::SP_DialogHelpButton},
    {"keyHelp", "", Kind::Separator, "", nullptr, NoIcon},
    {"keyHelp", "HelpWebsite", Kind::Item, "&Kestrune website", "internet-web-browser",
     QStyle::SP_DriveNetIcon},
    {"keyHelp", "HelpAbout", Kind::Item, "&About Kestrune", "help-about",
     QStyle::SP_MessageBoxQuestion},
}};

// A red dot: no standard picture means "record".
QIcon recordIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(120, 0, 0));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pixmap);
}

QIcon iconFor(const Row &row) {
    if (row.styleIcon == NoIcon)
        return QIcon();
    const QIcon fallBack = row.styleIcon == RecordDot
                               ? recordIcon()
                               : QApplication::style()->standardIcon(row.styleIcon);
    return QIcon::fromTheme(QLatin1String(row.themeIcon), fallBack);
}

} // namespace

MainMenu::MainMenu(QMenuBar *bar)
    : QObject(bar) {
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    bar->setFont(tahoma);
    std::map<QString, QMenu *> menus;
    for (const Row &row : Rows) {
        const QString key = QLatin1String(row.key);
        const QString caption = QLatin1String(row.caption);
        QAction *action = nullptr;
        if (!*row.parent) {
            QMenu *menu = bar->addMenu(caption);
            menu->setFont(tahoma);
            menus[key] = menu;
            action = menu->menuAction();
        } else if (row.kind == Kind::Separator) {
            action = menus.at(QLatin1String(row.parent))->addSeparator();
        } else {
            action = menus.at(QLatin1String(row.parent))->addAction(iconFor(row), caption);
        }
        action->setData(key);
        const int number = int(m_items.size()) + 1;
        m_items.push_back(action);
        if (*row.parent && row.kind == Kind::Item)
            connect(action, &QAction::triggered, this, [this, number] { Q_EMIT Click(number); });
    }
}

QAction *MainMenu::item(int number) const {
    return number >= 1 && number <= itemCount() ? m_items[size_t(number - 1)] : nullptr;
}

QString MainMenu::Key(int number) const {
    const QAction *action = item(number);
    return action ? action->data().toString() : QString();
}

QString MainMenu::Caption(int number) const {
    const QAction *action = item(number);
    return action ? action->text() : QString();
}

void MainMenu::setItemEnabled(int number, bool enabled) {
    if (QAction *action = item(number))
        action->setEnabled(enabled);
}

bool MainMenu::isItemEnabled(int number) const {
    const QAction *action = item(number);
    return action && action->isEnabled();
}

} // namespace kestrune
