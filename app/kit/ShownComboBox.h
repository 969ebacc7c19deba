#pragma once
// A drop-down list whose shown text can follow the instrument without changing
// the user's selection: live replies show the instrument's setting, while the
// selected index stays the user's last choice (the saved result reads it).
// Accessibility tools are told what the box shows, not its selected item.

#include <QComboBox>

class TShownComboBox : public QComboBox {
    Q_OBJECT
  public:
    explicit TShownComboBox(QWidget* parent);
    // Shows text in the box; the selected index is left alone and no change
    // handler runs. A user's choice or a new index shows the item again.
    void SetShownText(const QString& text);
    QString ShownText() const;

  protected:
    void initStyleOption(QStyleOptionComboBox* option) const override;

  private:
    // Tells accessibility tools that the shown text is now text.
    void AnnounceShownText(const QString& text);
    QString shown_;
    bool overridden_ = false;
};
