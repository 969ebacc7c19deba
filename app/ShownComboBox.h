#pragma once
// A drop-down list whose shown text can follow the instrument without changing
// the user's selection: live replies show the instrument's setting, while the
// selected index stays the user's last choice (the saved result reads it).

#include <QComboBox>

class TShownComboBox : public QComboBox {
  public:
    explicit TShownComboBox(QWidget* parent);
    // Shows text in the box; the selected index is left alone and no change
    // handler runs. A user's choice or a new index shows the item again.
    void SetShownText(const QString& text);
    QString ShownText() const;

  protected:
    void initStyleOption(QStyleOptionComboBox* option) const override;

  private:
    QString shown_;
    bool overridden_ = false;
};
