#include "app/ShownComboBox.h"

#include <QStyleOptionComboBox>

TShownComboBox::TShownComboBox(QWidget* parent) : QComboBox(parent) {
    auto follow = [this] {
        overridden_ = false;
        update();
    };
    connect(this, &QComboBox::activated, this, follow);
    connect(this, &QComboBox::currentIndexChanged, this, follow);
}

void TShownComboBox::SetShownText(const QString& text) {
    shown_ = text;
    overridden_ = true;
    update();
}

QString TShownComboBox::ShownText() const {
    return overridden_ ? shown_ : currentText();
}

void TShownComboBox::initStyleOption(QStyleOptionComboBox* option) const {
    QComboBox::initStyleOption(option);
    if (overridden_) option->currentText = shown_;
}
