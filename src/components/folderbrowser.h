// A folder path in a one-line text box with a small browse button at its right end that
// opens the folder dialog ("Select a folder"). Alt+Down opens the dialog too.
//
// Nothing of it is saved with the window that holds it: Qt widgets are built in code each
// time, so the colours, font, lock and selection below live only as long as the widget.
#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

class QLineEdit;
class QToolButton;

namespace kestrune {

class FolderBrowser : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY Change USER true)
    Q_PROPERTY(bool locked READ isLocked WRITE setLocked)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(QColor foreColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(int selStart READ selStart WRITE setSelStart)
    Q_PROPERTY(int selLength READ selLength WRITE setSelLength)
    Q_PROPERTY(QString selText READ selText WRITE setSelText)
public:
    // Shows a folder dialog and returns the folder chosen, or "" when cancelled. The default
    // is QFileDialog::getExistingDirectory (folders only) starting at `start`.
    using FolderDialog =
        std::function<QString(QWidget *parent, const QString &title, const QString &start)>;

    // The dialog's title.
    static const QString DialogTitle;

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

    // The text box's colours (its base and its text).
    QColor backColor() const;
    void setBackColor(const QColor &color);
    QColor foreColor() const;
    void setForeColor(const QColor &color);

    // A locked text box takes no typing; the browse button still fills it in.
    bool isLocked() const;
    void setLocked(bool locked);

    // The selection in characters. Without a selection the start is the cursor position and
    // the length 0; setting the start drops the selection; setting the text replaces it.
    int selStart() const;
    void setSelStart(int start);
    int selLength() const;
    void setSelLength(int length);
    QString selText() const;
    void setSelText(const QString &text);

    // Repaints the text box now.
    void Refresh();

    // Enabled and font are the widget's own (setEnabled, setFont); the text box follows them.

Q_SIGNALS:
    // Whenever the text changes: typed, set through setText, or chosen in the dialog.
    void Change();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool browseKey(const QKeyEvent *event) const;
    void layOut();

    QLineEdit *m_txtFolder = nullptr;
    QToolButton *m_cmdBrowse = nullptr;
    FolderDialog m_dialog;
};

} // namespace kestrune
