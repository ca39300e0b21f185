// Renders the window's three pages and the two dialogs to PNG files under the
// build folder (screenshots/); the welcome page is the one in docs/.

#include "settings/frmabout.h"
#include "settings/frmsettings.h"
#include "settingsfile.h"
#include "wizard/mainwindow.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTest>

namespace {

// Shows the widget and saves what it draws; a page that drew nothing would
// be a few flat colours.
void save(QWidget &widget, const QString &name)
{
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const QImage image = widget.grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 20, qPrintable(name));
    const QString path = QStringLiteral(BRIMO_BUILD_DIR "/screenshots/") + name;
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY2(image.save(path), qPrintable(path));
}

} // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void savesEveryPage();
};

void ScreenshotTest::savesEveryPage()
{
    brimo::main w;
    save(w, QStringLiteral("welcome.png"));

    w.welcomeWindow->hide();
    w.updateBtn->hide();
    w.stageWindow->show();
    w.stageHeader->setText(QStringLiteral("Stage 4 of 5:"));
    w.info->setText(QStringLiteral("We are now about to download the latest database for your "
                                   "Brimo unit.\r\n\r\nThis process can take up to 5 minutes "
                                   "depending on your connection speed."));
    for (const char *line :
         {"Update process began 05/12/2026 19:40:12", "Retrieving existing registry value",
          "Registry value returned: COM 3", "Internet connection test successful", "Connected"})
        w.addText(QString::fromLatin1(line));
    w.addText(QStringLiteral("Downloading updates . . ."));
    w.ProgressBar->setValue(60);
    save(w, QStringLiteral("stage.png"));

    w.stageWindow->hide();
    w.completedText->setText(
        QStringLiteral("Your Brimo unit has been successfully updated with the latest "
                       "information.\r\n\r\nPlease remove the power from the Brimo unit, wait 10 "
                       "seconds and change the mode selection switch to either 'normal' or "
                       "'camera'."));
    w.completedWindow->show();
    save(w, QStringLiteral("completion.png"));

    brimo::frmSettings &dialog = w.settingsDialog();
    dialog.com->setCurrentText(QStringLiteral("3"));
    dialog.txtProxyServer->setText(QStringLiteral("proxy.example.net"));
    dialog.txtProxyPort->setText(QStringLiteral("8080"));
    save(dialog, QStringLiteral("settings.png"));
    dialog.close();

    brimo::frmAbout about(&w);
    save(about, QStringLiteral("about.png"));
}

int main(int argc, char *argv[])
{
    const brimo::test::TemporarySettingsFile settings;
    QApplication app(argc, argv);
    ScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenshots.moc"
