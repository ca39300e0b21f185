#include "ui/accesskeylabel.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>

namespace brimo {

namespace {

// The caption as it reads aloud: "&&" is a literal "&", "&x" is "x".
QString withoutMarkers(const QString &caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        plain.append(caption.at(i));
    }
    return plain;
}

// Gives a screen reader the label's text without its markers.
class AccessibleLabel : public QAccessibleWidget {
public:
    explicit AccessibleLabel(QWidget *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind != QAccessible::Name || !widget()->accessibleName().isEmpty())
            return QAccessibleWidget::text(kind);
        return withoutMarkers(static_cast<const QLabel *>(widget())->text());
    }
};

QAccessibleInterface *accessibleLabel(const QString &className, QObject *object)
{
    if (className == QLatin1String(AccessKeyLabel::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new AccessibleLabel(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

AccessKeyLabel::AccessKeyLabel(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleLabel);
        return true;
    }();
    Q_UNUSED(installed);
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
