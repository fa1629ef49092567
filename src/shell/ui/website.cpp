#include "shell/ui/website.h"

#include "core/version.h"
#include "shell/ui/messagebox.h"

#include <QDesktopServices>

namespace kestrune {

UrlOpener desktopUrlOpener() {
    return [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

PlainMessage nonBlockingMessage() {
    return [](QWidget *parent, const QString &text) { openMessage(parent, text); };
}

QString noBrowserText(const QUrl &url) {
    if (url.scheme() == QLatin1String("mailto"))
        return QStringLiteral("No mail program could be started to write to %1.").arg(url.path());
    return QStringLiteral("No web browser could be started to open %1.").arg(url.toDisplayString());
}

bool openWebsite(QWidget *parent, const UrlOpener &opener, const PlainMessage &message) {
    const QUrl url(ProgramWebsite);
    const bool opened = opener ? opener(url) : desktopUrlOpener()(url);
    if (!opened)
        (message ? message : nonBlockingMessage())(parent, noBrowserText(url));
    return opened;
}

} // namespace kestrune
