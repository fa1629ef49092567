// Reads directory pages the way the player does: the lines joined without separator, then
// fixed markers and fixed skip distances. Kept apart from the simulator's own code so a
// layout slip there shows up here instead of being repeated.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct ScannedRow {
    QString id;
    QString genre; // with its "[" and "]"
    QString url;
    QString name; // as on the page, entities left alone
    bool hasSong = false;
    QString song;
    QString listeners;
    QString bitrate;
};

struct ScannedPage {
    QList<ScannedRow> rows;
    int next = -1;     // the number of the link before "[ Next ]"; -1 if there is none
    int previous = -1; // likewise for "[ Previous ]"
    QString problem;   // why scanning stopped early; empty if it did not
};

QString joinedLines(const QByteArray &html);
ScannedPage scanDirectoryPage(const QByteArray &html);
