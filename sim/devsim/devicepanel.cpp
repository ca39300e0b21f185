#include "devicepanel.h"

#include "simdevice.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace brimo::sim {
namespace {

QLabel *valueLabel(const QString &name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setAccessibleName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

DevicePanel::DevicePanel(SimDevice &device, QWidget *parent) : QWidget(parent), m_device(device)
{
    setWindowTitle(QStringLiteral("Brimo device on %1").arg(device.line().linkPath()));
    auto *modeBox = new QGroupBox(QStringLiteral("Mode switch"), this);
    auto *modeLayout = new QHBoxLayout(modeBox);
    m_normal = addModeButton(QStringLiteral("NORMAL"), QStringLiteral("modeNormal"),
                             QStringLiteral("mode normal"));
    m_download = addModeButton(QStringLiteral("D/L"), QStringLiteral("modeDownload"),
                               QStringLiteral("mode dl"));
    m_camera = addModeButton(QStringLiteral("camera"), QStringLiteral("modeCamera"),
                             QStringLiteral("mode camera"));
    for (QRadioButton *button : {m_normal, m_download, m_camera})
        modeLayout->addWidget(button);

    m_power = new QCheckBox(QStringLiteral("&Power"), this);
    m_power->setObjectName(QStringLiteral("power"));
    m_power->setAccessibleName(QStringLiteral("Power"));
    connect(m_power, &QCheckBox::clicked, this, [this](bool on) {
        m_device.execute(on ? QStringLiteral("power on") : QStringLiteral("power off"));
    });

    m_systemNumber = valueLabel(QStringLiteral("systemNumber"), this);
    m_flashed = valueLabel(QStringLiteral("flashSummary"), this);
    m_identity = valueLabel(QStringLiteral("identityBlock"), this);
    m_identity->setFont(QFont(QStringLiteral("monospace")));
    m_line = valueLabel(QStringLiteral("lineState"), this);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("System number:"), m_systemNumber);
    form->addRow(QStringLiteral("Flashed:"), m_flashed);
    form->addRow(QStringLiteral("Identity block:"), m_identity);
    form->addRow(QStringLiteral("Serial line:"), m_line);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(modeBox);
    layout->addWidget(m_power);
    layout->addLayout(form);

    connect(&m_device, &SimDevice::changed, this, &DevicePanel::refresh);
    refresh();
}

QRadioButton *DevicePanel::addModeButton(const QString &caption, const QString &name,
                                         const QString &command)
{
    auto *button = new QRadioButton(caption, this);
    button->setObjectName(name);
    button->setAccessibleName(QStringLiteral("Mode ") + caption);
    connect(button, &QRadioButton::clicked, this, [this, command] { m_device.execute(command); });
    return button;
}

void DevicePanel::refresh()
{
    const SimDevice::Mode mode = m_device.mode();
    m_normal->setChecked(mode == SimDevice::Mode::Normal);
    m_download->setChecked(mode == SimDevice::Mode::Download);
    m_camera->setChecked(mode == SimDevice::Mode::Camera);
    m_power->setChecked(m_device.isPowered());
    m_systemNumber->setText(QString::fromLatin1(m_device.memory().systemNumber()));
    m_flashed->setText(QStringLiteral("writes: %1, records in the last: %2")
                           .arg(m_device.writes())
                           .arg(m_device.lastRecords()));
    const QByteArray block = m_device.memory().identityBlock().toHex(' ').toUpper();
    m_identity->setText(QString::fromLatin1(block.left(47) + '\n' + block.mid(48)));
    const PtyLine &line = m_device.line();
    m_line->setText(!line.isPlugged() ? QStringLiteral("unplugged")
                    : line.isHeld()   ? QStringLiteral("open")
                                      : QStringLiteral("closed"));
}

} // namespace brimo::sim
