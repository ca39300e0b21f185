#include "ui/appearance.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace brimo {

QString applicationTitle()
{
    return QStringLiteral("Brimo update utility");
}

QColor greyLevel(int level)
{
    return QColor(level, level, level);
}

QColor highlightTextColour()
{
    return QApplication::palette().color(QPalette::HighlightedText);
}

QColor windowBackgroundColour()
{
    return QApplication::palette().color(QPalette::Base);
}

QColor applicationWorkspaceColour()
{
    return greyLevel(171);
}

QColor yellow()
{
    return QColor(255, 255, 0);
}

void makeFixedDialog(QWidget *dialog, const char *name, const QString &caption)
{
    dialog->setObjectName(QLatin1String(name));
    dialog->setWindowTitle(caption);
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setFont(verdanaFont(9.75));
}

QFont verdanaFont(qreal points, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont msSansSerifFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans")});
    font.setPointSizeF(8.25);
    return font;
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace brimo
