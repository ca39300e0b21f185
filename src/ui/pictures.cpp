#include "ui/pictures.h"

#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <utility>

namespace brimo {

namespace {

QString resource(const QString &name, bool twice)
{
    return QStringLiteral(":/assets/%1%2.png").arg(name, twice ? QStringLiteral("@2x") : QString());
}

// The drawing for RATIO device pixels to a unit: the 100 % one up to 1, else
// the 200 % one, brought smoothly to the ratio's size (150 % is what most
// laptops are set to), so that painting it copies pixels instead of stretching.
QPixmap pictureFor(const QString &name, qreal ratio)
{
    if (ratio <= 1)
        return QPixmap(resource(name, false));
    QImage image(resource(name, true));
    if (!qFuzzyCompare(ratio, 2.0))
        image = image.scaled(image.size() * (ratio / 2), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(image);
}

// Keeps a label's picture made for its screen's scaling, looked at before each
// paint: a window moved to a screen of another scaling is painted anew there.
class PictureKeeper : public QObject {
public:
    PictureKeeper(QLabel *label, QString name)
        : QObject(label), m_label(label), m_name(std::move(name))
    {
        label->installEventFilter(this);
        remake();
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            remake();
        return false;
    }

private:
    void remake()
    {
        const qreal ratio = m_label->devicePixelRatio();
        if (qFuzzyCompare(ratio, m_ratio))
            return;
        m_ratio = ratio;
        m_label->setPixmap(pictureFor(m_name, ratio));
    }

    QLabel *m_label;
    QString m_name;
    qreal m_ratio = 0;
};

} // namespace

// Both drawings, whatever the screens at the start: Qt would add the @2x one
// of its own only while a screen above 100 % is connected.
QIcon pictureIcon(const QString &name)
{
    QIcon icon;
    icon.addFile(resource(name, false));
    icon.addFile(resource(name, true));
    return icon;
}

void showPicture(QLabel *label, const QString &name)
{
    new PictureKeeper(label, name);
}

} // namespace brimo
