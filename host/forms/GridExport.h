// Writing what a grid shows to a file a spreadsheet program opens.
#pragma once

#include "host/forms/DBGrids.h"

#include <functional>
#include <string>

namespace orv {

enum class TExportFormat {
    // UTF-8 with a byte-order mark (without it spreadsheet programs guess a local code page
    // and garble Chinese text), fields quoted as RFC 4180 has it, CRLF line ends. Each cell
    // holds the text the grid shows.
    efCSV,
    // An Office Open XML workbook of one sheet: numbers as numbers (a decimal field keeps its
    // scale as the cell's number format), dates as dates, everything else as the shown text.
    efXLSX,
};

// The format a file name asks for: ".xlsx" in any case is a workbook, anything else CSV.
TExportFormat ExportFormatOf(const std::string& FileName);

// Writes the rows Grid shows, a title row first, to FileName: the grid's visible columns in
// its order under their titles. Rows are read as the grid draws them (a row being edited
// with its unposted values, no deleted row), without moving the data set or changing its
// state; an untouched new row, which leaving would drop, is left out. Progress, when given,
// is called once per row written.
//
// The file appears whole or not at all: it is written beside FileName under another name
// and renamed over it at the end. Raises Exception with the reason when it cannot be
// written; FileName is then as it was.
void ExportGrid(const TOrvDBGrid& Grid, const std::string& FileName, TExportFormat Format,
                const std::string& SheetName = {}, const std::function<void()>& Progress = {});

} // namespace orv
