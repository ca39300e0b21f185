#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

namespace brimo {

// The utility's title: the caption of its window and of every message box.
QString applicationTitle();

// The look the window and its dialogs share: grey levels, the system
// colours their texts follow, and the two fonts.

// A grey with the given level (0 to 255) in red, green and blue.
QColor greyLevel(int level);
QColor highlightTextColour();
// The light colour of a text box's background, used for texts on the grey pages.
QColor windowBackgroundColour();
// The usual application-workspace grey; no palette role carries it.
QColor applicationWorkspaceColour();
QColor yellow();

// The font is named first; where it is missing, a similar one stands in.
QFont verdanaFont(qreal points, bool bold = false);
QFont msSansSerifFont();

// Fills the widget's background (a panel has no border of its own).
void setBackground(QWidget *widget, const QColor &colour);
void setTextColour(QWidget *widget, const QColor &colour);

} // namespace brimo
