#pragma once

#include "settings/settingsstore.h"

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLineEdit;

namespace brimo {

// The settings dialog: the COM port of the device and the proxy server and
// port. It shows the settings it is given and hands back what the user chose
// (the port one of "1" to "16" or of `morePorts`, the ports above 16 the PC
// has; empty when none is chosen); it is made each time it is shown, so that
// every opening starts from what it is given.
class frmSettings : public QDialog {
    Q_OBJECT
public:
    frmSettings(const Settings &shown, const QList<int> &morePorts, QWidget *parent = nullptr);

    Settings settings() const;

private:
    QWidget *createComFrame(QWidget *page, const QList<int> &morePorts);
    QWidget *createProxyFrame(QWidget *page);
    QWidget *createButtons();

    QComboBox *com = nullptr;
    QLineEdit *txtProxyServer = nullptr;
    QLineEdit *txtProxyPort = nullptr;
};

} // namespace brimo
