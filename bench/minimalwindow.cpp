#include <QApplication>
#include <QLabel>

// The smallest window Qt Widgets shows: the yardstick for how long the
// utility takes to its first painted window.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Brimo update utility"));
    label.show();
    return app.exec();
}
