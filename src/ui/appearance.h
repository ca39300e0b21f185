#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

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

// A dialog of the window: its name and caption, a fixed size, only a close
// box in its title bar, modal, in the dialogs' font.
void makeFixedDialog(QWidget *dialog, const char *name, const QString &caption);

// Gives a control its name (the name the rest of the program finds it by) and,
// where one is given, its place.
template <typename Widget>
Widget *place(Widget *widget, const char *name, const QRect &geometry = QRect())
{
    widget->setObjectName(QLatin1String(name));
    if (geometry.isValid())
        widget->setGeometry(geometry);
    return widget;
}

} // namespace brimo
