#pragma once

#include <QIcon>
#include <QString>

class QLabel;

namespace brimo {

// The utility's pictures (assets/), each drawn for 100 % and, twice the size,
// for 200 % display scaling. NAME is the file's name without ".png".

// An icon that holds both drawings, for the window system to choose from.
QIcon pictureIcon(const QString &name);

// Shows the picture on the label, made for the scaling of the screen the
// label is on, and made again when its window moves to a screen of another.
void showPicture(QLabel *label, const QString &name);

} // namespace brimo
