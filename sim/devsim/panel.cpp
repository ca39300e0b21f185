#include "panel.h"

#include "device.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace brimo::sim {

QWidget *makePanel(Device &device, const QString &title)
{
    auto *panel = new QWidget;
    panel->setWindowTitle(title);
    auto *switches = new QHBoxLayout;
    QList<QPair<QRadioButton *, QString>> modes;
    for (const auto &[caption, mode] :
         {std::pair{"NORMAL", "normal"}, {"D/L", "dl"}, {"camera", "camera"}}) {
        auto *button = new QRadioButton(QString::fromLatin1(caption), panel);
        switches->addWidget(button);
        modes.append({button, QString::fromLatin1(mode)});
        QObject::connect(button, &QRadioButton::clicked, &device,
                         [&device, mode] { device.execute(QStringLiteral("mode ") + mode); });
    }
    auto *power = new QCheckBox(QStringLiteral("&Power"), panel);
    switches->addWidget(power);
    QObject::connect(power, &QCheckBox::clicked, &device, [&device](bool on) {
        device.execute(on ? QStringLiteral("power on") : QStringLiteral("power off"));
    });
    auto *state = new QLabel(panel);
    state->setTextInteractionFlags(Qt::TextSelectableByMouse);
    state->setFont(QFont(QStringLiteral("monospace")));
    auto *layout = new QVBoxLayout(panel);
    layout->addLayout(switches);
    layout->addWidget(state);

    const auto refresh = [&device, modes, power, state] {
        for (const auto &[button, mode] : modes)
            button->setChecked(device.mode() == mode);
        power->setChecked(device.isPowered());
        const QByteArray block = device.identityBlock().toHex(' ').toUpper();
        state->setText(device.status().replace(u' ', u'\n') +
                       QStringLiteral("\n\nidentity block\n") +
                       QString::fromLatin1(block.left(47) + '\n' + block.mid(48)));
    };
    QObject::connect(&device, &Device::changed, panel, refresh);
    refresh();
    return panel;
}

} // namespace brimo::sim
