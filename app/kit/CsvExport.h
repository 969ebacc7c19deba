#pragma once
// "导出表格" of the analysis and archive windows: the save dialog offers the
// character set as the file's type, GBK first (Excel on a Chinese Windows
// opens it with a double-click), UTF-8 with a byte-order mark second
// (LibreOffice on Linux reads it without being told). A file that already
// holds lines keeps its own set, whatever is chosen: one file, one set.

#include <string>
#include <vector>

#include "app/kit/Platform.h"

TFileDialogRequest CsvExportRequest();

// Asks for the file (proposing name in the last export's folder), appends
// lines, then says where they went, or that some could not be written.
void ExportCsv(QWidget* owner, TFileDialogRequest& dialog, const QString& name,
               const std::vector<std::string>& lines);
