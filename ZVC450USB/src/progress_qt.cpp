// progress_qt.cpp - the library windows as Qt dialogs.
//
// The dialogs keep the geometry of the library's original window templates,
// given in dialog units (a quarter of the font's average character width, an
// eighth of its height), so they look the same size next to the program's
// own windows whatever the font.  They are modeless, owned by the caller's
// widget, and live only inside one library call; events reach them when the
// record logic pumps.  If the owner is destroyed while the call pumps, the
// dialog goes with it and every later text call does nothing.

#include "progress.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <climits>
#include <functional>

namespace zvc450 {
namespace detail {

namespace {

// Cancel, Esc and the close button all end in reject(); a library window is
// never closed by the user, it only reports the wish to stop.
class LibraryDialog final : public QDialog {
public:
    explicit LibraryDialog(QWidget *owner) : QDialog(owner) {
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
        setModal(false);
    }
    std::function<void()> onCancel;

    void reject() override {
        if (onCancel)
            onCancel();
    }
};

// A label that shows a long path shortened in the middle to fit its width.
class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(QWidget *parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

    void setFullText(const QString &text) {
        full_ = text;
        setToolTip(text);
        Elide();
    }

protected:
    void resizeEvent(QResizeEvent *event) override {
        QLabel::resizeEvent(event);
        Elide();
    }

private:
    void Elide() {
        const QString shown = fontMetrics().elidedText(full_, Qt::ElideMiddle, width());
        if (shown != text())
            setText(shown);
    }
    QString full_;
};

// Places a control by the dialog units of the template.
class DialogUnits {
public:
    explicit DialogUnits(const QWidget *w) {
        const QFontMetrics fm(w->font());
        x_ = fm.averageCharWidth();
        y_ = fm.height();
    }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
    int X(int du) const { return du * x_ / 4; }
    int Y(int du) const { return du * y_ / 8; }

private:
    int x_, y_;
};

QLabel *MakeLabel(QWidget *parent, const DialogUnits &du, QRect rect, const char *name, const QString &text,
                  Qt::Alignment align) {
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);  // file names are never markup
    label->setAlignment(align | Qt::AlignVCenter);
    label->setText(text);
    label->setGeometry(du.Rect(rect.x(), rect.y(), rect.width(), rect.height()));
    return label;
}

QPushButton *MakeCancel(QWidget *parent, const DialogUnits &du, int x, int y) {
    auto *button = new QPushButton(QStringLiteral("&Cancel"), parent);
    button->setObjectName(QStringLiteral("cancel"));
    button->setGeometry(du.Rect(x, y, 50, 14));
    button->setDefault(true);
    return button;
}

class QtWindow final : public ProgressWindow {
public:
    QtWindow(WindowKind kind, QWidget *owner, ProgressRecord *rec, const std::string &caption,
             const std::string &index, const std::string &status)
        : ProgressWindow(rec), dialog_(new LibraryDialog(owner)) {
        LibraryDialog *d = dialog_;
        d->setObjectName(QStringLiteral("zvc450-progress"));
        d->setWindowTitle(QString::fromStdString(caption));
        InitText(Caption, caption);
        InitText(Index, index);
        InitText(Status, status);
        const DialogUnits du(d);
        const QString indexText = QString::fromStdString(index);
        const QString statusText = QString::fromStdString(status);

        switch (kind) {
        case WindowKind::Transfer: {
            d->setFixedSize(du.X(233), du.Y(79));
            index_ = MakeLabel(d, du, {7, 7, 23, 8}, "index", indexText, Qt::AlignRight);
            status_ = new ElidedLabel(d);
            status_->setObjectName(QStringLiteral("status"));
            status_->setGeometry(du.Rect(35, 7, 191, 8));
            status_->setFullText(statusText);
            InitText(Percentage, " 0 %");
            percent_ = MakeLabel(d, du, {7, 24, 219, 8}, "percentage", QStringLiteral(" 0 %"), Qt::AlignHCenter);
            bar_ = new QProgressBar(d);
            bar_->setObjectName(QStringLiteral("bar"));
            bar_->setGeometry(du.Rect(7, 34, 219, 9));
            bar_->setTextVisible(false);
            bar_->setRange(0, 1);
            bar_->setValue(0);
            InitText(Speed, "Speed");
            speed_ = MakeLabel(d, du, {16, 58, 45, 14}, "speed", QStringLiteral("Speed"), Qt::AlignLeft);
            QPushButton *cancel = MakeCancel(d, du, 92, 58);
            QObject::connect(cancel, &QPushButton::clicked, d, [d] { d->reject(); });
            d->onCancel = [rec] { rec->flags |= kProgressCancelled; };
            break;
        }
        case WindowKind::Deleting: {
            d->setFixedSize(du.X(187), du.Y(66));
            MakeLabel(d, du, {7, 7, 173, 13}, "text", QStringLiteral("Deleting..."), Qt::AlignLeft);
            index_ = MakeLabel(d, du, {7, 24, 25, 14}, "index", indexText, Qt::AlignRight);
            status_ = new ElidedLabel(d);
            status_->setObjectName(QStringLiteral("status"));
            status_->setGeometry(du.Rect(37, 24, 143, 14));
            status_->setFullText(statusText);
            // The player deletes in one exchange; there is nothing to cancel.
            MakeCancel(d, du, 68, 45);
            break;
        }
        case WindowKind::Format:
            d->setFixedSize(du.X(139), du.Y(47));
            MakeLabel(d, du, {7, 18, 125, 8}, "status", statusText, Qt::AlignHCenter);
            break;
        }
        d->show();
        d->raise();
    }

    ~QtWindow() override { delete dialog_.data(); }

protected:
    void ShowText(Field field, const std::string &text) override {
        if (dialog_.isNull())
            return;
        const QString s = QString::fromStdString(text);
        switch (field) {
        case Caption: dialog_->setWindowTitle(s); break;
        case Index: if (index_) index_->setText(s); break;
        case Status: if (status_) status_->setFullText(s); break;
        case Percentage: if (percent_) percent_->setText(s); break;
        case Speed: if (speed_) speed_->setText(s); break;
        case FieldCount: break;
        }
    }

    // QProgressBar counts in int; ranges of files up to 4 GiB are scaled down
    // by a power of two until they fit.  An empty range shows an empty bar
    // (a 0..0 QProgressBar would show the busy animation instead).
    void ShowBar() override {
        if (dialog_.isNull() || bar_ == nullptr)
            return;
        const unsigned span = BarMaximum() - BarMinimum();
        unsigned pos = BarPosition();
        pos = pos < BarMinimum() ? 0 : pos > BarMaximum() ? span : pos - BarMinimum();
        if (span == 0) {
            bar_->setRange(0, 1);
            bar_->setValue(0);
            return;
        }
        int shift = 0;
        while ((span >> shift) > static_cast<unsigned>(INT_MAX))
            ++shift;
        bar_->setRange(0, static_cast<int>(span >> shift));
        bar_->setValue(static_cast<int>(pos >> shift));
    }

private:
    QPointer<LibraryDialog> dialog_;
    QPointer<QLabel> index_, percent_, speed_;
    QPointer<ElidedLabel> status_;
    QPointer<QProgressBar> bar_;
};

}  // namespace

ProgressWindow *CreateQtWindow(WindowKind kind, void *owner, ProgressRecord *rec, const std::string &caption,
                               const std::string &index, const std::string &status) {
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return new QtWindow(kind, static_cast<QWidget *>(owner), rec, caption, index, status);
}

bool QtPumpEvents() {
    if (QCoreApplication::instance() == nullptr)
        return false;
    QCoreApplication::processEvents();
    return true;
}

}  // namespace detail
}  // namespace zvc450
