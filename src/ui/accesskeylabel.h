#pragma once

#include <QLabel>

namespace brimo {

// A plain-text label that shows an access-key marker ("&" before a letter) as
// an underlined letter, as the window's labels always have. QLabel does that
// only for a label with a buddy, and a buddy would take the key away from the
// button whose caption the label quotes. text() keeps the marker.
class AccessKeyLabel : public QLabel {
    Q_OBJECT
public:
    explicit AccessKeyLabel(const QString &text, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace brimo
