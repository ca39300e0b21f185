// Renders the window's pages and the two dialogs to PNG files under the build
// folder (screenshots/), and checks the colours a user would see on them.

#include "settings/frmabout.h"
#include "settings/frmsettings.h"
#include "settingsfile.h"
#include "wizard/mainwindow.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

namespace {

const QColor kYellow(255, 255, 0);

QColor grey(int level)
{
    return QColor(level, level, level);
}

// The colour at a point of a widget, in the window's client coordinates.
QColor colourAt(const QImage &client, QWidget *widget, QPoint point)
{
    auto *window = qobject_cast<QMainWindow *>(widget->window());
    const QPoint at = widget->mapTo(window->centralWidget(), point);
    return client.pixelColor(at);
}

int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void welcomePage();
    void stagePage();
    void completionPage();
    void settingsDialog();
    void aboutWindow();

private:
    void save(QWidget &widget, const QString &name);
    QImage shownClient();

    QDir m_folder;
    std::unique_ptr<brimo::main> m_window;
};

void ScreenshotTest::initTestCase()
{
    m_folder.setPath(QStringLiteral(BRIMO_BUILD_DIR "/screenshots"));
    QVERIFY(m_folder.mkpath(QStringLiteral(".")));
}

void ScreenshotTest::init()
{
    m_window = std::make_unique<brimo::main>();
}

void ScreenshotTest::cleanup()
{
    m_window.reset();
}

void ScreenshotTest::save(QWidget &widget, const QString &name)
{
    const QString path = m_folder.filePath(name);
    QVERIFY2(widget.grab().save(path), qPrintable(path));
}

QImage ScreenshotTest::shownClient()
{
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        return {};
    return m_window->centralWidget()->grab().toImage();
}

void ScreenshotTest::welcomePage()
{
    brimo::main &w = *m_window;
    const QImage client = shownClient();
    QVERIFY(!client.isNull());
    save(w, QStringLiteral("welcome.png"));

    QCOMPARE(colourAt(client, w.Line1, {100, 0}), kYellow);
    QCOMPARE(colourAt(client, w.welcomeWindow, {4, 200}), grey(144));
    QCOMPARE(colourAt(client, w.Picture2, {530, 30}), grey(160));
    QCOMPARE(colourAt(client, w.footer, {250, 2}), grey(64));
    QCOMPARE(client.pixelColor(553, 200), grey(128));
    // The banner and the logo are pictures, not blank strips.
    QVERIFY(distinctColours(w.header->grab().toImage()) > 100);
    QVERIFY(distinctColours(w.logo->grab().toImage()) > 20);
}

void ScreenshotTest::stagePage()
{
    brimo::main &w = *m_window;
    w.welcomeWindow->hide();
    w.stageWindow->show();
    w.updateBtn->hide();
    w.stageHeader->setText(QStringLiteral("Stage 4 of 5:"));
    w.info->setText(QStringLiteral("We are now about to download the latest database for your "
                                   "Brimo unit.\r\n\r\nThis process can take up to 5 minutes "
                                   "depending on your connection speed."));
    for (const char *line :
         {"Update process began 05/12/2026 19:40:12",
          "Retrieving existing "
          "registry value",
          "Registry value returned: COM 3", "Internet connection test successful", "Connected",
          "Downloading updates"})
        w.addText(QString::fromLatin1(line));
    QMetaObject::invokeMethod(w.progressDots, "timeout");
    w.ProgressBar->setValue(60);
    const QImage client = shownClient();
    QVERIFY(!client.isNull());
    save(w, QStringLiteral("stage.png"));

    QCOMPARE(colourAt(client, w.Shape1, {0, 100}), kYellow);
    QCOMPARE(colourAt(client, w.Shape1, {w.Shape1->width() - 1, 100}), kYellow);
    QCOMPARE(colourAt(client, w.infoContainer, {100, 200}), QColor(Qt::white));
    QCOMPARE(colourAt(client, w.stageContainer, {185, 2}), grey(160));
    QCOMPARE(colourAt(client, w.Text1->viewport(), {200, 180}), grey(144));
}

void ScreenshotTest::completionPage()
{
    brimo::main &w = *m_window;
    w.welcomeWindow->hide();
    w.updateBtn->hide();
    w.completedText->setText(
        QStringLiteral("Your Brimo unit has been successfully updated with the latest "
                       "information.\r\n\r\nPlease remove the power from the Brimo unit, wait 10 "
                       "seconds and change the mode selection switch to either 'normal' or "
                       "'camera'."));
    w.completedWindow->show();
    const QImage client = shownClient();
    QVERIFY(!client.isNull());
    save(w, QStringLiteral("completion.png"));
    QCOMPARE(colourAt(client, w.completedWindow, {4, 200}), grey(144));
    QCOMPARE(colourAt(client, w.Picture3, {530, 30}), grey(160));
}

void ScreenshotTest::settingsDialog()
{
    brimo::frmSettings &dialog = m_window->settingsDialog();
    dialog.com->setCurrentText(QStringLiteral("3"));
    dialog.txtProxyServer->setText(QStringLiteral("proxy.example.net"));
    dialog.txtProxyPort->setText(QStringLiteral("8080"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    save(dialog, QStringLiteral("settings.png"));
    const QImage image = dialog.grab().toImage();
    QCOMPARE(image.pixelColor(dialog.welcomeWindow->mapTo(&dialog, QPoint(2, 60))), grey(144));
    for (QWidget *control : std::initializer_list<QWidget *>{
             dialog.Picture2, dialog.Frame1, dialog.Frame2, dialog.Command1, dialog.Command2}) {
        const QRect area(control->mapTo(&dialog, QPoint(0, 0)), control->size());
        QVERIFY2(image.rect().contains(area), qPrintable(control->objectName()));
    }
    QVERIFY(dialog.Command1->geometry().right() < dialog.Command2->geometry().left());
    // What the user types stays readable in the boxes.
    for (QLineEdit *box : {dialog.txtProxyServer, dialog.txtProxyPort})
        QVERIFY(box->palette().color(QPalette::Text) != box->palette().color(QPalette::Base));
}

void ScreenshotTest::aboutWindow()
{
    auto *about = new brimo::frmAbout(m_window.get());
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    save(*about, QStringLiteral("about.png"));
    const QImage image = about->grab().toImage();
    QVERIFY(distinctColours(about->Image1->grab().toImage()) > 100);
    QCOMPARE(about->Image1->geometry().left(), 0);
    QVERIFY(about->infoContainer->geometry().left() >= about->Image1->geometry().right());
    QCOMPARE(image.pixelColor(about->Picture2->mapTo(about, QPoint(290, 2))), grey(160));
    about->close();
}

int main(int argc, char *argv[])
{
    const brimo::test::TemporarySettingsFile settings;
    QApplication app(argc, argv);
    ScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenshots.moc"
