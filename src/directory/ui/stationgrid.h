// The station grid: a caption line over a list of stations, one row per station with its
// genre, listeners, bitrate and current song.
#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;
class QStandardItemModel;
class QTreeView;

namespace kestrune {

class StationGrid : public QWidget {
    Q_OBJECT
public:
    // Column headings; column 0 holds the station name (the row's item text).
    static const QStringList &ColumnHeadings();

    explicit StationGrid(QWidget *parent = nullptr);

    QString caption() const;
    void setCaption(const QString &text);

    // `cells` are the four column texts after the name: genre, listeners/max, bitrate,
    // now playing.
    void addRow(const QString &name, const QStringList &cells);
    void clear();
    int rowCount() const;
    QString itemText(int row) const;
    // Columns are numbered from 1 (genre) as the directory describes them; 0 is the name.
    QString cellText(int row, int column) const;
    int selectedRow() const;

    QTreeView *view() const { return m_view; }

Q_SIGNALS:
    void rowSelected(int row);
    void rowDoubleClicked(int row);

private:
    QLabel *m_caption = nullptr;
    QTreeView *m_view = nullptr;
    QStandardItemModel *m_model = nullptr;
};

} // namespace kestrune
