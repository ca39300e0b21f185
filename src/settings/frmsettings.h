#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace brimo {

// The settings dialog: the COM port of the device and the proxy server and
// port. It reads the three settings when it is created and writes them on
// "&OK"; closing it in any way deletes it, so the next opening reads them
// again.
class frmSettings : public QDialog {
    Q_OBJECT
public:
    // comPortNumber is the program's current port: shown when the dialog
    // loads, replaced by the chosen port on "&OK". portSaved runs after "&OK"
    // stored a chosen port.
    frmSettings(qint16 &comPortNumber, std::function<void()> portSaved, QWidget *parent = nullptr);

    QWidget *welcomeWindow = nullptr;
    QWidget *Picture2 = nullptr;
    QLabel *welcomeLabel = nullptr;
    QGroupBox *Frame1 = nullptr;
    QComboBox *com = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtProxyServer = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtProxyPort = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

    // The texts read from the settings store when the dialog loaded.
    QString storedComPort() const { return m_comPort; }
    QString storedProxyServer() const { return m_proxyServer; }
    QString storedProxyPort() const { return m_proxyPort; }

private:
    void createControls();
    QWidget *createComFrame();
    QWidget *createProxyFrame();
    QWidget *createButtons();
    void load();
    void save();

    qint16 &m_comPortNumber;
    std::function<void()> m_portSaved;
    QString m_comPort;
    QString m_proxyServer;
    QString m_proxyPort;
};

} // namespace brimo
