#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QGroupBox;
class QLineEdit;

namespace brimo {

// The settings dialog: the COM port of the device and the proxy server and
// port. It shows the settings it is given and hands back what the user chose;
// the window reads and writes the store, and unloads the dialog once it has
// been closed, so that the next opening starts from the store again.
class frmSettings : public QDialog {
    Q_OBJECT
public:
    struct Settings {
        QString comPort; // one of "1" to "16"; empty: no port chosen
        QString proxyServer;
        QString proxyPort;
    };

    explicit frmSettings(const Settings &shown, QWidget *parent = nullptr);

    // Puts the port into the port box without showing the dialog.
    void showPort(qint16 port);
    Settings settings() const;

private:
    QWidget *createComFrame(QWidget *page);
    QWidget *createProxyFrame(QWidget *page);
    QWidget *createButtons();

    QComboBox *com = nullptr;
    QLineEdit *txtProxyServer = nullptr;
    QLineEdit *txtProxyPort = nullptr;
};

} // namespace brimo
