#pragma once

#include <QDialog>
#include <QString>

namespace brimo {

// The about window: the product picture, the utility's name and version and
// where to read more. It has no buttons; it is made each time it is shown.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);

private:
    // The version text: title, version and the vendor's address.
    static QString versionText();
};

} // namespace brimo
