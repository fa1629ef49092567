// A caption that behaves like a hyperlink: it changes its look while the mouse is over it and,
// when clicked, opens its address - a web page, a mail to someone with subject, body and copy
// recipients, or a document. Only web, ftp and mail addresses and existing documents are
// opened; programs never are.
//
// Nothing of it is saved with the window that holds it: Qt widgets are built in code each
// time, so every property below lives only as long as the widget.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QPixmap>
#include <QUrl>

#include <functional>

class QLabel;

namespace kestrune {

class ActiveLink : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)
    Q_PROPERTY(QString activeCaption READ activeCaption WRITE setActiveCaption)
    Q_PROPERTY(QString address READ address WRITE setAddress)
    Q_PROPERTY(bool isHot READ isHot)
public:
    // Asks the desktop to open an address; true when it accepted. Default:
    // QDesktopServices::openUrl.
    using Opener = std::function<bool(const QUrl &url)>;

    // AddressType: a mail address; any other value opens the address as it is.
    static constexpr int MailAddress = 1;
    // BorderStyle: none, or a single border whose look Appearance picks.
    static constexpr int NoBorder = 0;
    static constexpr int FixedSingle = 1;
    // Appearance: a flat one-pixel line, or a sunken 3-D edge.
    static constexpr int Flat = 0;
    static constexpr int ThreeD = 1;

    explicit ActiveLink(const QString &caption = QString(), QWidget *parent = nullptr);

    // Reapplies the look that fits the hover state, then fits the size to the picture.
    void Refresh();
    // The control has no about box of its own; kept so the member list stays whole.
    void About();
    // Opens the address through the opener. False, and AppNotFound, when the address is not
    // one that may be opened or the desktop refused it; false without AppNotFound when there
    // is no address.
    bool Jump();

    // The address Jump opens, built from Address and the mail parts; empty when it has none.
    QUrl target() const;

    void setOpener(Opener opener);

    // The caption's font in the normal and in the hover look. Both start as the widget's font.
    QFont linkFont() const { return m_font; }
    void setLinkFont(const QFont &font);
    QFont activeFont() const { return m_activeFont; }
    void setActiveFont(const QFont &font);

    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor &color);
    QColor activeForeColor() const { return m_activeForeColor; }
    void setActiveForeColor(const QColor &color);
    // A background with alpha 0 lets the holder's own background show through.
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor &color);
    QColor activeBackColor() const { return m_activeBackColor; }
    void setActiveBackColor(const QColor &color);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    // Empty: the hover look keeps the normal caption.
    QString activeCaption() const { return m_activeCaption; }
    void setActiveCaption(const QString &caption);

    // The hand cursor shows on hover when there is an address, or always with this set.
    bool alwaysHandCursor() const { return m_alwaysHandCursor; }
    void setAlwaysHandCursor(bool always);

    // Background pictures, drawn unscaled from the top left. Without an active picture the
    // hover look shows the normal one.
    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);
    QPixmap activePicture() const { return m_activePicture; }
    void setActivePicture(const QPixmap &picture);

    // Sizes the control to the normal picture (plus its border) whenever it has one.
    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

    QString address() const { return m_address; }
    void setAddress(const QString &address);
    QString mailSubject() const { return m_mailSubject; }
    void setMailSubject(const QString &text);
    QString mailBody() const { return m_mailBody; }
    void setMailBody(const QString &text);
    QString mailCC() const { return m_mailCC; }
    void setMailCC(const QString &text);
    QString mailBCC() const { return m_mailBCC; }
    void setMailBCC(const QString &text);
    int addressType() const { return m_addressType; }
    void setAddressType(int type);

    // How the opened program's window should show (1 = normal). Kept for callers that set
    // it; the desktop's opener on this platform takes no such hint, so it is not used.
    int appWindowStyle() const { return m_appWindowStyle; }
    void setAppWindowStyle(int style);

    int borderStyle() const { return m_borderStyle; }
    void setBorderStyle(int style);
    int appearance() const { return m_appearance; }
    void setAppearance(int appearance);

    // The caption's alignment within the control.
    Qt::Alignment alignment() const;
    void setAlignment(Qt::Alignment alignment);

    // ToolTip and Enabled are the widget's own (setToolTip, setEnabled): a disabled link
    // shows greyed, takes no hover look and no clicks. Jump still works when called.

    // The mouse is over the control.
    bool isHot() const { return m_hot; }

    // The caption label, for tests and accessibility: objectName "lblCaption".
    QLabel *captionLabel() const { return m_lblCaption; }
    // The picture shown now (normal or active), null when none.
    QPixmap shownPicture() const { return m_shownPicture; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void AppNotFound();
    // Raised before a click jumps; a direct connection may set cancel to true to stop it.
    void BeforeJump(bool &cancel);
    void MouseEnter();
    void MouseLeave();
    void Click();
    void DblClick();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPointF &pos);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPointF &pos);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, const QPointF &pos);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void ShowNormal();
    void ShowActive();
    void FitToPicture();
    void becomeHot();
    void applyFrame();
    void layOut();
    void showLook(const QFont &font, const QColor &fore, const QColor &back, const QString &caption,
                  const QPixmap &picture);

    QLabel *m_lblCaption = nullptr;
    Opener m_opener;

    QFont m_font;
    QFont m_activeFont;
    QColor m_foreColor;
    QColor m_activeForeColor;
    QColor m_backColor;
    QColor m_activeBackColor;
    QString m_caption;
    QString m_activeCaption;
    bool m_alwaysHandCursor = false;
    QPixmap m_picture;
    QPixmap m_activePicture;
    QPixmap m_shownPicture;
    QColor m_shownBack;
    bool m_autoSize = false;
    QString m_address;
    QString m_mailSubject;
    QString m_mailBody;
    QString m_mailCC;
    QString m_mailBCC;
    int m_addressType = 0;
    int m_appWindowStyle = 1;
    int m_borderStyle = NoBorder;
    int m_appearance = ThreeD;
    bool m_hot = false;
    bool m_pressed = false;
};

} // namespace kestrune
