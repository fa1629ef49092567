#include "directory/ui/stationgrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace kestrune {

const QStringList &StationGrid::ColumnHeadings() {
    static const QStringList headings{QStringLiteral("Station"), QStringLiteral("Genre"),
                                      QStringLiteral("Listeners/Max"), QStringLiteral("Bitrate"),
                                      QStringLiteral("Now playing")};
    return headings;
}

StationGrid::StationGrid(QWidget *parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("ctList1"));
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("ctList1Caption"));
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setContentsMargins(4, 2, 4, 2);
    m_caption->setStyleSheet(QStringLiteral("background: #3A3F58; color: #F4F4F4;"));

    m_model = new QStandardItemModel(0, ColumnHeadings().size(), this);
    m_model->setHorizontalHeaderLabels(ColumnHeadings());

    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("ctList1View"));
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->header()->setStretchLastSection(true);
    m_view->setColumnWidth(0, 220);
    m_view->setColumnWidth(1, 110);
    m_view->setColumnWidth(2, 95);
    m_view->setColumnWidth(3, 60);

    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    Q_EMIT rowSelected(current.row());
            });
    connect(m_view, &QTreeView::doubleClicked, this,
            [this](const QModelIndex &index) { Q_EMIT rowDoubleClicked(index.row()); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_caption);
    layout->addWidget(m_view, 1);
}

QString StationGrid::caption() const {
    return m_caption->text();
}

void StationGrid::setCaption(const QString &text) {
    m_caption->setText(text);
}

void StationGrid::addRow(const QString &name, const QStringList &cells) {
    QList<QStandardItem *> items{new QStandardItem(name)};
    for (const QString &cell : cells)
        items << new QStandardItem(cell);
    m_model->appendRow(items);
}

void StationGrid::clear() {
    m_model->removeRows(0, m_model->rowCount());
}

int StationGrid::rowCount() const {
    return m_model->rowCount();
}

QString StationGrid::itemText(int row) const {
    return cellText(row, 0);
}

QString StationGrid::cellText(int row, int column) const {
    const QStandardItem *item = m_model->item(row, column);
    return item ? item->text() : QString();
}

int StationGrid::selectedRow() const {
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? current.row() : -1;
}

} // namespace kestrune
