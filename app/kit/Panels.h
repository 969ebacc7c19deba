#pragma once
// Panels placed the way the form designs them: each child panel docks to a
// side of its parent (top and bottom first, then left and right, then the
// client area), in creation order. Positions follow at once when the parent
// changes size, so the label arrangement can read panel sizes right after.

#include <QFrame>

class QWidget;

enum class TAlign { None, Top, Bottom, Left, Right, Client };

// Marks w to dock in its parent; size is the height (top/bottom) or width (left/right).
void SetAlign(QWidget* w, TAlign align, int size = 0);
// Places every docked child of w, then recurses into all children.
void AlignTree(QWidget* w);

class TPanel : public QFrame {
  public:
    enum TBorder { NoBorder, SingleBorder, LoweredBorder };
    TPanel(QWidget* parent, const char* name, TAlign align, int size = 0,
           TBorder border = NoBorder);

  protected:
    void resizeEvent(QResizeEvent* event) override;
};
