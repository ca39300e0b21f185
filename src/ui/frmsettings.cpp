#include "ui/frmsettings.h"

#include "ui/appearance.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace brimo {

namespace {

constexpr int kPortCount = 16;
constexpr int kDialogWidth = 340;

void setColours(QWidget *widget, const QColor &background, const QColor &text)
{
    setBackground(widget, background);
    setTextColour(widget, text);
}

// Stacks the widgets in the frame and sets the frame in from the page's edges.
QWidget *stacked(QGroupBox *frame, std::initializer_list<QWidget *> widgets)
{
    auto *layout = new QVBoxLayout(frame);
    for (QWidget *widget : widgets)
        layout->addWidget(widget);
    auto *margin = new QWidget(frame->parentWidget());
    auto *outer = new QVBoxLayout(margin);
    outer->setContentsMargins(8, 0, 8, 0);
    outer->addWidget(frame);
    return margin;
}

} // namespace

frmSettings::frmSettings(const Settings &shown, const QList<int> &morePorts, QWidget *parent)
    : QDialog(parent)
{
    makeFixedDialog(this, "frmSettings", QStringLiteral("Brimo update utility settings"));
    setColours(this, greyLevel(128), Qt::white);

    auto *page = place(new QWidget(this), "welcomeWindow");
    setColours(page, greyLevel(144), Qt::white);
    auto *strip = place(new QWidget(page), "Picture2");
    setColours(strip, greyLevel(160), palette().color(QPalette::HighlightedText));
    auto *title = place(new QLabel(QStringLiteral("Settings"), strip), "welcomeLabel");
    title->setFont(verdanaFont(12, true));
    auto *stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(8, 8, 8, 4);
    stripLayout->addWidget(title);

    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 8);
    pageLayout->addWidget(strip);
    pageLayout->addWidget(createComFrame(page, morePorts));
    pageLayout->addWidget(createProxyFrame(page));

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(8, 8, 8, 8);
    form->addWidget(page);
    form->addWidget(createButtons());
    setFixedSize(kDialogWidth, sizeHint().height());

    // A port outside the list leaves the box without a choice.
    com->setCurrentIndex(-1);
    com->setCurrentText(shown.comPort);
    txtProxyServer->setText(shown.proxyServer);
    txtProxyPort->setText(shown.proxyPort);
}

QWidget *frmSettings::createComFrame(QWidget *page, const QList<int> &morePorts)
{
    auto *frame = place(new QGroupBox(QStringLiteral("COM Port:"), page), "Frame1");
    com = place(new QComboBox(frame), "com");
    com->setAccessibleName(QStringLiteral("COM Port"));
    for (int port = 1; port <= kPortCount; ++port)
        com->addItem(QString::number(port));
    for (const int port : morePorts)
        com->addItem(QString::number(port));
    return stacked(frame, {com});
}

QWidget *frmSettings::createProxyFrame(QWidget *page)
{
    auto *frame = place(new QGroupBox(QStringLiteral("Proxy settings:"), page), "Frame2");
    auto *serverLabel =
        place(new QLabel(QStringLiteral("Proxy server (leave blank for none)"), frame), "Label1");
    txtProxyServer = place(new QLineEdit(frame), "txtProxyServer");
    auto *portLabel =
        place(new QLabel(QStringLiteral("Proxy port (leave blank for none)"), frame), "Label2");
    txtProxyPort = place(new QLineEdit(frame), "txtProxyPort");
    // The buddies give the boxes their labels' names for a screen reader.
    serverLabel->setBuddy(txtProxyServer);
    portLabel->setBuddy(txtProxyPort);
    txtProxyServer->setAccessibleName(QStringLiteral("Proxy server"));
    txtProxyPort->setAccessibleName(QStringLiteral("Proxy port"));
    return stacked(frame, {serverLabel, txtProxyServer, portLabel, txtProxyPort});
}

QWidget *frmSettings::createButtons()
{
    auto *row = new QWidget(this);
    auto *ok = place(new QPushButton(QStringLiteral("&OK"), row), "Command1");
    auto *cancel = place(new QPushButton(QStringLiteral("&Cancel"), row), "Command2");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(ok);
    layout->addWidget(cancel);
    return row;
}

Settings frmSettings::settings() const
{
    return {com->currentIndex() >= 0 ? com->currentText() : QString(), txtProxyServer->text(),
            txtProxyPort->text()};
}

} // namespace brimo
