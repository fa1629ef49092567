// The main window's menu bar: fourteen numbered items (separators and top-level items
// counted), each with a key. A click reports the item's number; the window dispatches on the
// item's key. Other parts switch items by number (4 "Station info", 7 "Record").
#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QAction;
class QMenuBar;

namespace kestrune {

class MainMenu : public QObject {
    Q_OBJECT
public:
    // The numbers other parts switch.
    static constexpr int StationInfoItem = 4;
    static constexpr int RecordItem = 7;

    // Fills `bar` with the items in order.
    explicit MainMenu(QMenuBar *bar);

    int itemCount() const { return int(m_items.size()); }
    // The key of item `number` (1-based); empty for a separator or a number out of range.
    QString Key(int number) const;
    QString Caption(int number) const;
    QAction *item(int number) const;
    void setItemEnabled(int number, bool enabled);
    bool isItemEnabled(int number) const;

Q_SIGNALS:
    // Item `number` was chosen (top-level items and separators never are by a user; a caller
    // may report them, and the window then does nothing).
    void Click(int number);

private:
    std::vector<QAction *> m_items;
};

} // namespace kestrune
