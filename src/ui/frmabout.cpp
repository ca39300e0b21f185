#include "ui/frmabout.h"

#include "brimoversion.h"
#include "ui/appearance.h"
#include "ui/pictures.h"

#include <QLabel>

namespace brimo {

namespace {

// The version the program's version resource carries; the revision is not shown.
constexpr int kMajorVersion = BRIMO_VERSION_MAJOR;
constexpr int kMinorVersion = BRIMO_VERSION_MINOR;
const QString kVendorAddress = QStringLiteral("http://www.brimo.example/");
const QString kComments = QStringLiteral("Please find more information at ") + kVendorAddress;

} // namespace

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    makeFixedDialog(this, "frmAbout", QStringLiteral("About Brimo update utility"));
    setBackground(this, greyLevel(128));
    setFixedSize(648, 139);

    auto *picture = place(new QLabel(this), "Image1", QRect(0, 0, 192, 139));
    showPicture(picture, QStringLiteral("about"));
    picture->setAccessibleName(QStringLiteral("Brimo device"));

    auto *infoContainer = place(new QWidget(this), "infoContainer", QRect(200, 8, 440, 123));
    setBackground(infoContainer, greyLevel(144));
    auto *strip = place(new QWidget(infoContainer), "Picture2", QRect(0, 0, 440, 33));
    setBackground(strip, greyLevel(160));
    auto *title = place(new QLabel(applicationTitle(), strip), "infoTitle", QRect(8, 6, 424, 24));
    title->setFont(verdanaFont(12, true));
    setTextColour(title, highlightTextColour());

    auto *info = place(new QLabel(infoContainer), "info", QRect(8, 40, 424, 80));
    info->setTextFormat(Qt::PlainText);
    info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    info->setWordWrap(true);
    setTextColour(info, windowBackgroundColour());
    info->setText(versionText());
}

QString frmAbout::versionText()
{
    return applicationTitle() + QStringLiteral(" v") + QString::number(kMajorVersion) +
           QStringLiteral(".") + QString::number(kMinorVersion) + QStringLiteral("\r\n\r\n") +
           kComments;
}

} // namespace brimo
