// The library window's file list: one row per recording of the folder shown, six columns,
// filled in one batch. The cell texts are made when the view asks for them.
#pragma once

#include "library/libraryfolder.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QLocale>

namespace kestrune {

class LibraryFileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Filename, Length, FileSize, Bitrate, Samplerate, RecordDate, ColumnCount };

    explicit LibraryFileModel(QObject *parent = nullptr);

    void setEntries(QList<LibraryEntry> entries);
    const QList<LibraryEntry> &entries() const { return m_entries; }
    const LibraryEntry &entry(int row) const { return m_entries.at(row); }
    void removeEntry(int row);
    void replaceEntry(int row, const LibraryEntry &entry);
    // The icon beside each file name.
    void setFileIcon(const QIcon &icon) { m_fileIcon = icon; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The text of one cell, as shown.
    QString cellText(int row, int column) const;

private:
    QList<LibraryEntry> m_entries;
    QIcon m_fileIcon;
    QLocale m_locale;
};

} // namespace kestrune
