// The pictures on a screen at 100 % and one at 200 % (twoscreens.json): each
// shows the drawing made for the screen it is on, also once moved there.
#include "ui/frmabout.h"
#include "ui/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

class PicturesTest : public QObject {
    Q_OBJECT
public:
    static void initMain()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" BRIMO_SCREENS_FILE);
    }

private slots:
    void picturesAreMadeForTheScreen_data()
    {
        QTest::addColumn<int>("ratio");
        QTest::addColumn<QString>("label"); // "icon": the window's icon
        QTest::addColumn<QString>("picture");
        // The windows open at 100 %: the first rows move them to 200 %, the rest back.
        for (const int ratio : {2, 1}) {
            for (const QString row : {"header banner", "logo logo", "Image1 about", "icon icon"})
                QTest::addRow("%s at %d00 %%", qPrintable(row.section(u' ', 1)), ratio)
                    << ratio << row.section(u' ', 0, 0) << row.section(u' ', 1);
        }
    }
    void picturesAreMadeForTheScreen()
    {
        QFETCH(int, ratio);
        QFETCH(QString, label);
        QFETCH(QString, picture);
        QScreen *screen = QGuiApplication::screens().value(ratio - 1);
        for (QWidget *window : QWidgetList{&m_window, &m_about}) {
            window->show();
            window->windowHandle()->setScreen(screen);
            window->move(screen->geometry().topLeft() + QPoint(20, 20));
            QTRY_COMPARE(window->devicePixelRatio(), qreal(ratio));
        }
        QImage shown = m_window.windowIcon().pixmap(QSize(256, 256), ratio).toImage();
        if (auto *widget = m_window.findChild<QLabel *>(label)) {
            QPixmap shot(widget->size() * ratio);
            shot.setDevicePixelRatio(ratio);
            shot.fill(Qt::transparent);
            widget->render(&shot, QPoint(), QRegion(), {}); // no background, no controls on it
            shown = shot.toImage();
        }
        QImage expected(QStringLiteral(":/assets/%1%2.png").arg(picture, ratio == 2 ? "@2x" : ""));
        expected.setDevicePixelRatio(ratio);
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

private:
    brimo::MainWindow m_window;
    brimo::frmAbout m_about{&m_window};
};

QTEST_MAIN(PicturesTest)
#include "tst_pictures.moc"
