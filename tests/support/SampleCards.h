#pragma once

#include "platform/report/ReportEngine.h"

#include <QList>
#include <QStringList>

// Cards as the generator writes them, for report tests: serials 1..count, every field filled.
QList<QStringList> sampleCardRows(int count);
Report::RowsDataSet sampleCards(int count);

// Appends cards to the main card table's file (its local path) in one transaction, as another
// program would, numbered from 1 as the generator numbers them.
void appendCards(const QString& tableFile, int rows);

// The number of pages in a PDF file, or -1 when it is not one.
int pdfPageCount(const QString& fileName);

// The text of a PDF file as pdftotext extracts it, page after page with a form feed
// between pages (empty when the file cannot be read).
QString pdfText(const QString& fileName);
