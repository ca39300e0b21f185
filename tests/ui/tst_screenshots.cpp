// Renders the window's pages and dialogs to <build>/screenshots/*.png (docs/ shows welcome.png).

#include "settings/frmabout.h"
#include "settings/frmsettings.h"
#include "wizard/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

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
    brimo::MainWindow w;
    save(w, QStringLiteral("welcome.png"));

    w.welcomeWindow->hide();
    w.updateBtn->hide();
    w.stageWindow->show();
    for (const char *line :
         {"Update process began 05/12/2026 19:40:12", "Connected", "Downloading updates . . ."})
        w.addText(QString::fromLatin1(line));
    save(w, QStringLiteral("stage.png"));

    w.stageWindow->hide();
    w.completedText->setText(QStringLiteral("Your Brimo unit has been successfully updated."));
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
    const QTemporaryDir settings; // never the user's settings
    qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(settings.filePath("registry")));
    QApplication app(argc, argv);
    ScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenshots.moc"
