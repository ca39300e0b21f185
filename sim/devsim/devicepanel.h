#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QRadioButton;

namespace brimo::sim {

class SimDevice;

// A window onto the simulated device for demonstrations: the mode switch, the
// power switch, the system number and what was last flashed.
class DevicePanel : public QWidget {
    Q_OBJECT
public:
    explicit DevicePanel(SimDevice &device, QWidget *parent = nullptr);

private:
    QRadioButton *addModeButton(const QString &caption, const QString &name,
                                const QString &command);
    void refresh();

    SimDevice &m_device;
    QRadioButton *m_normal = nullptr;
    QRadioButton *m_download = nullptr;
    QRadioButton *m_camera = nullptr;
    QCheckBox *m_power = nullptr;
    QLabel *m_systemNumber = nullptr;
    QLabel *m_flashed = nullptr;
    QLabel *m_identity = nullptr;
    QLabel *m_line = nullptr;
};

} // namespace brimo::sim
