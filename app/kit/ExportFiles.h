#pragma once
// Where the windows' exports go and what they are called: the save dialog
// opens on a name made of what the file holds ("东郊变 2024-05-20 测试报告.pdf")
// in the folder of the last export this run, or the user's documents folder
// at first; once written, a box says where the file is.

#include "app/kit/Platform.h"

class QWidget;

// text with the characters no file name may hold (\ / : * ? " < > | and
// control characters) as "_", and without blanks or dots at its ends.
QString FileNamePart(const QString& text);

// Sets request.FileName to name (taken through FileNamePart) in the last
// export's folder, or in the documents folder before the first export.
void ProposeExportFile(TFileDialogRequest& request, const QString& name);

// Remembers path's folder for the next proposal and tells the operator, in a
// "提示" box, what was written where ("测试报告已保存到：\n<path>").
void ExportWritten(QWidget* owner, const QString& what, const QString& path);
