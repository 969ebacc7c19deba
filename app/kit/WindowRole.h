#pragma once
// Qt tells accessibility tools that a top-level QWidget is a "client area"
// and a widget that paints for itself a "filler", which screen readers pass
// over. The program's windows say that they are windows (named by their
// title), its plots that they are pictures (named and described by the plot).

class QWidget;

// Called in the widget's constructor, before anything asks about it.
void AnnounceAsWindow(QWidget* window);
void AnnounceAsPicture(QWidget* plot);
