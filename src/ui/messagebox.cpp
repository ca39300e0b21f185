#include "ui/messagebox.h"

#include "ui/appearance.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace brimo {

namespace {

// What a box can show whole on a small screen; the rest of a longer text is
// cut, and a word longer than a line is broken.
constexpr int kMostLines = 15;
constexpr int kMostCharacters = 600;
constexpr int kLongestWord = 60;

QString withLongWordsBroken(const QString &text)
{
    QString broken;
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongestWord) {
            broken += QLatin1Char('\n');
            run = 1;
        }
        broken += c;
    }
    return broken;
}

// A box whose question only its Yes or No answers: Escape and the close box
// leave it open, as they do on the platform the utility was first written for.
class Question : public QMessageBox {
public:
    Question(QMessageBox::Icon icon, const QString &text, bool question, QWidget *parent)
        : QMessageBox(icon, applicationTitle(), text,
                      question ? Yes | No : QMessageBox::StandardButtons(Ok), parent),
          m_question(question)
    {
        // Texts that come from outside are never read as markup.
        setTextFormat(Qt::PlainText);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (!m_question || !event->matches(QKeySequence::Cancel))
            QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override
    {
        if (m_question)
            event->ignore();
        else
            QMessageBox::closeEvent(event);
    }

private:
    bool m_question;
};

} // namespace

QMessageBox::StandardButton showMessage(QWidget *parent, const QString &text,
                                        SessionWindow::Box box)
{
    const QMessageBox::Icon icon =
        box == SessionWindow::Box::Stop ? QMessageBox::Critical : QMessageBox::NoIcon;
    Question shown(icon, text, box == SessionWindow::Box::YesNo, parent);
    return static_cast<QMessageBox::StandardButton>(shown.exec());
}

QString cutToFit(const QString &text)
{
    QString shown = text.left(kMostCharacters);
    const QStringList lines = shown.split(QLatin1Char('\n'));
    if (lines.size() > kMostLines)
        shown = lines.mid(0, kMostLines).join(QLatin1Char('\n'));
    if (shown.size() == text.size())
        return withLongWordsBroken(text);
    while (!shown.isEmpty() && shown.back().isSpace())
        shown.chop(1);
    return withLongWordsBroken(shown) + kCrLf + kCrLf +
           QStringLiteral("(The rest of this message is not shown: it is too long for this box.)");
}

StillWritingNotice::StillWritingNotice()
{
    setObjectName(QStringLiteral("stillWriting"));
    setWindowTitle(applicationTitle());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    auto *text = new QLabel(QStringLiteral("The Brimo device is still being written. Do not "
                                           "unplug it until this message closes."),
                            this);
    text->setWordWrap(true);
    text->setMinimumWidth(320);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(text);
    setFixedSize(sizeHint());
}

void StillWritingNotice::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

} // namespace brimo
