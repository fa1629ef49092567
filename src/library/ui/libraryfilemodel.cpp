#include "library/ui/libraryfilemodel.h"

#include <utility>

namespace kestrune {

namespace {

// The column headers; the first is indented past the file icon.
const char *const Headers[LibraryFileModel::ColumnCount] = {
    "     Filename", "Length", "FileSize", "Bitrate", "Samplerate", "Record date"};

} // namespace

LibraryFileModel::LibraryFileModel(QObject *parent)
    : QAbstractTableModel(parent) {}

void LibraryFileModel::setEntries(QList<LibraryEntry> entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

void LibraryFileModel::removeEntry(int row) {
    if (row < 0 || row >= m_entries.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_entries.removeAt(row);
    endRemoveRows();
}

void LibraryFileModel::replaceEntry(int row, const LibraryEntry &entry) {
    if (row < 0 || row >= m_entries.size())
        return;
    m_entries[row] = entry;
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int LibraryFileModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_entries.size());
}

int LibraryFileModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString LibraryFileModel::cellText(int row, int column) const {
    const LibraryEntry &e = m_entries.at(row);
    switch (column) {
    case Filename:
        return e.name;
    case Length:
        return e.facts.valid ? LengthText(e.facts.lengthMs) : QString();
    case FileSize:
        return FileSizeText(e.size, m_locale);
    case Bitrate:
        return BitrateText(e.facts.bitrateKbps, m_locale);
    case Samplerate:
        return e.facts.valid ? SampleRateText(e.facts.sampleRate, m_locale) : QString();
    case RecordDate:
        return RecordDateText(e.modified, m_locale);
    default:
        return QString();
    }
}

QVariant LibraryFileModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_entries.size())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(index.row(), index.column());
    if (role == Qt::DecorationRole && index.column() == Filename)
        return m_fileIcon;
    if (role == Qt::TextAlignmentRole && index.column() != Filename)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant LibraryFileModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(Headers[section]);
}

} // namespace kestrune
