#include "wizard/accesskeylabel.h"

#include <QPainter>
#include <QStyle>

namespace brimo {

AccessKeyLabel::AccessKeyLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
}

void AccessKeyLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())) |
                Qt::TextShowMnemonic;
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                          foregroundRole());
}

} // namespace brimo
