#pragma once
// A note of two or more lines under a form: the Song font's own line gap
// lets Chinese lines touch, so the note is set with room between them. Its
// text stays the plain text for a screen reader.

#include <QString>

class QLabel;

void SetNoteText(QLabel* label, const QString& text);
