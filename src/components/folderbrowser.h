// A folder path in a one-line text box with a small browse button at its right end that
// opens the folder dialog ("Select a folder"). Alt+Down opens the dialog too.
#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

namespace kestrune {

class FolderBrowser : public QWidget {
    Q_OBJECT
public:
    // Shows a folder dialog and returns the folder chosen, or "" when cancelled. The default
    // is QFileDialog::getExistingDirectory (folders only) starting at `start`.
    using FolderDialog =
        std::function<QString(QWidget *parent, const QString &title, const QString &start)>;

    explicit FolderBrowser(QWidget *parent = nullptr);

    // The folder path (the text box's text). Setting it raises Change() when it differs.
    QString text() const;
    void setText(const QString &text);

    // Opens the folder dialog exactly as the button does.
    void Execute();

    // Tests answer the dialog through this.
    void setFolderDialog(FolderDialog dialog);

    QLineEdit *textBox() const;        // objectName "txtFolder"
    QToolButton *browseButton() const; // objectName "cmdBrowse"

Q_SIGNALS:
    // Whenever the text changes: typed, set through setText, or chosen in the dialog.
    void Change();
};

} // namespace kestrune
