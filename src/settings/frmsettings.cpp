#include "settings/frmsettings.h"

#include "settings/registry.h"
#include "wizard/appearance.h"

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

template <typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
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

QString setting(const QString &name)
{
    return getRegistryValue(kHkeyLocalMachine, kSettingsKey, name, QString());
}

void storeSetting(const QString &name, const QString &text)
{
    setRegistryValue(kHkeyLocalMachine, kSettingsKey, name, text);
}

} // namespace

frmSettings::frmSettings(qint16 &comPortNumber, std::function<void()> portSaved, QWidget *parent)
    : QDialog(parent), m_comPortNumber(comPortNumber), m_portSaved(std::move(portSaved))
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Brimo update utility settings"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose);
    setFont(verdanaFont(9.75));
    createControls();
    load();
}

void frmSettings::createControls()
{
    setColours(this, greyLevel(128), Qt::white);
    welcomeWindow = named(new QWidget(this), "welcomeWindow");
    setColours(welcomeWindow, greyLevel(144), Qt::white);

    Picture2 = named(new QWidget(welcomeWindow), "Picture2");
    setColours(Picture2, greyLevel(160), palette().color(QPalette::HighlightedText));
    welcomeLabel = named(new QLabel(QStringLiteral("Settings"), Picture2), "welcomeLabel");
    welcomeLabel->setFont(verdanaFont(12, true));
    auto *strip = new QHBoxLayout(Picture2);
    strip->setContentsMargins(8, 8, 8, 4);
    strip->addWidget(welcomeLabel);

    auto *page = new QVBoxLayout(welcomeWindow);
    page->setContentsMargins(0, 0, 0, 8);
    page->addWidget(Picture2);
    page->addWidget(createComFrame());
    page->addWidget(createProxyFrame());

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(8, 8, 8, 8);
    form->addWidget(welcomeWindow);
    form->addWidget(createButtons());
    setFixedSize(kDialogWidth, sizeHint().height());
}

QWidget *frmSettings::createComFrame()
{
    Frame1 = named(new QGroupBox(QStringLiteral("COM Port:"), welcomeWindow), "Frame1");
    com = named(new QComboBox(Frame1), "com");
    com->setAccessibleName(QStringLiteral("COM Port"));
    for (int port = 1; port <= kPortCount; ++port)
        com->addItem(QString::number(port));
    return stacked(Frame1, {com});
}

QWidget *frmSettings::createProxyFrame()
{
    Frame2 = named(new QGroupBox(QStringLiteral("Proxy settings:"), welcomeWindow), "Frame2");
    Label1 =
        named(new QLabel(QStringLiteral("Proxy server (leave blank for none)"), Frame2), "Label1");
    txtProxyServer = named(new QLineEdit(Frame2), "txtProxyServer");
    Label2 =
        named(new QLabel(QStringLiteral("Proxy port (leave blank for none)"), Frame2), "Label2");
    txtProxyPort = named(new QLineEdit(Frame2), "txtProxyPort");
    // The buddies give the boxes their labels' names for a screen reader.
    Label1->setBuddy(txtProxyServer);
    Label2->setBuddy(txtProxyPort);
    txtProxyServer->setAccessibleName(QStringLiteral("Proxy server"));
    txtProxyPort->setAccessibleName(QStringLiteral("Proxy port"));
    return stacked(Frame2, {Label1, txtProxyServer, Label2, txtProxyPort});
}

QWidget *frmSettings::createButtons()
{
    auto *row = new QWidget(this);
    Command1 = named(new QPushButton(QStringLiteral("&OK"), row), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("&Cancel"), row), "Command2");
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &frmSettings::save);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(Command1);
    layout->addWidget(Command2);
    return row;
}

void frmSettings::load()
{
    m_comPort = setting(kComPortValue);
    // A port outside the list leaves the box without a choice.
    com->setCurrentIndex(-1);
    if (m_comPortNumber > 0)
        com->setCurrentText(QString::number(m_comPortNumber));
    else if (!m_comPort.isEmpty())
        com->setCurrentText(m_comPort);
    m_proxyServer = setting(QStringLiteral("ProxyServer"));
    m_proxyPort = setting(QStringLiteral("ProxyPort"));
    txtProxyServer->setText(m_proxyServer);
    txtProxyPort->setText(m_proxyPort);
}

void frmSettings::save()
{
    if (com->currentIndex() >= 0) {
        m_comPortNumber = static_cast<qint16>(com->currentText().toInt());
        storeSetting(kComPortValue, QString::number(m_comPortNumber));
        if (m_portSaved)
            m_portSaved();
    }
    storeSetting(QStringLiteral("ProxyServer"), txtProxyServer->text());
    storeSetting(QStringLiteral("ProxyPort"), txtProxyPort->text());
    accept();
}

} // namespace brimo
