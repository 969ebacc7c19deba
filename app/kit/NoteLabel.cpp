#include "app/kit/NoteLabel.h"

#include <QLabel>

void SetNoteText(QLabel* label, const QString& text) {
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setText(QStringLiteral("<div style=\"line-height:135%\">%1</div>")
                       .arg(text.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>"))));
    label->setAccessibleName(text);
}
