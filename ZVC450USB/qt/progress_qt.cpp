// progress_qt.cpp - the library windows as Qt dialogs (the Qt module).
//
// The dialogs keep the geometry of the library's original window templates,
// given in dialog units (a quarter of the font's average character width, an
// eighth of its height), so they look the same size next to the program's
// own windows whatever the font.  They are owned by the caller's widget and
// live only inside one library call; events reach them when the record logic
// pumps.  If the owner is destroyed while the call pumps, the dialog goes with
// it and every later text call does nothing.
//
// While one is shown it is modal to the whole application: the library pumps
// the program's events so that its windows repaint and Cancel works, but the
// library is busy with the player all that time (one packet buffer, one error
// state), and a click, key or drop reaching the program's other windows could
// start a second operation in the middle of this one's data phase.  The
// window also takes the keyboard focus, so that Esc cancels even where no
// window manager hands it over.

#include "qt_module.h"

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
namespace qt {

namespace {

// Cancel, Esc and the close button all end in reject(); a library window is
// never closed by the user, it only reports the wish to stop.
class LibraryDialog final : public QDialog {
public:
    explicit LibraryDialog(QWidget *owner) : QDialog(owner) {
        setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
        setWindowModality(Qt::ApplicationModal);
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

// A text of the library's string table in the user's language (as it is
// where the program installed no catalogue for it). Texts that are not in
// the table, such as file names, stay as they are.
QString Shown(const QString &text) { return QCoreApplication::translate("ZVC450USB", text.toUtf8().constData()); }

QPushButton *MakeCancel(QWidget *parent, const DialogUnits &du, int x, int y) {
    auto *button = new QPushButton(QCoreApplication::translate("ZVC450USB", "&Cancel"), parent);
    button->setObjectName(QStringLiteral("cancel"));
    button->setGeometry(du.Rect(x, y, 50, 14));
    button->setDefault(true);
    return button;
}

// The core's record logic keeps the texts and passes a field on only when it
// changed; the dialog just shows what it gets.
class QtWindow final {
public:
    QtWindow(int kind, QWidget *owner, unsigned *flags, unsigned cancelBit, const QString &caption,
             const QString &indexText, const QString &statusText)
        : dialog_(new LibraryDialog(owner)), previous_(QApplication::activeWindow()) {
        LibraryDialog *d = dialog_;
        d->setObjectName(QStringLiteral("zvc450-progress"));
        d->setWindowTitle(Shown(caption));
        const DialogUnits du(d);

        switch (kind) {
        case kZvc450QtTransfer: {
            d->setFixedSize(du.X(233), du.Y(79));
            index_ = MakeLabel(d, du, {7, 7, 23, 8}, "index", indexText, Qt::AlignRight);
            status_ = new ElidedLabel(d);
            status_->setObjectName(QStringLiteral("status"));
            status_->setGeometry(du.Rect(35, 7, 191, 8));
            status_->setFullText(Shown(statusText));
            percent_ = MakeLabel(d, du, {7, 24, 219, 8}, "percentage", QStringLiteral(" 0 %"), Qt::AlignHCenter);
            bar_ = new QProgressBar(d);
            bar_->setObjectName(QStringLiteral("bar"));
            bar_->setGeometry(du.Rect(7, 34, 219, 9));
            bar_->setTextVisible(false);
            bar_->setRange(0, 1);
            bar_->setValue(0);
            speed_ = MakeLabel(d, du, {16, 58, 45, 14}, "speed", QCoreApplication::translate("ZVC450USB", "Speed"),
                               Qt::AlignLeft);
            QPushButton *cancel = MakeCancel(d, du, 92, 58);
            QObject::connect(cancel, &QPushButton::clicked, d, [d] { d->reject(); });
            d->onCancel = [flags, cancelBit] { *flags |= cancelBit; };
            break;
        }
        case kZvc450QtDeleting: {
            d->setFixedSize(du.X(187), du.Y(66));
            MakeLabel(d, du, {7, 7, 173, 13}, "text", QCoreApplication::translate("ZVC450USB", "Deleting..."),
                      Qt::AlignLeft);
            index_ = MakeLabel(d, du, {7, 24, 25, 14}, "index", indexText, Qt::AlignRight);
            status_ = new ElidedLabel(d);
            status_->setObjectName(QStringLiteral("status"));
            status_->setGeometry(du.Rect(37, 24, 143, 14));
            status_->setFullText(Shown(statusText));
            // The player deletes in one exchange; there is nothing to cancel.
            MakeCancel(d, du, 68, 45);
            break;
        }
        default:  // kZvc450QtFormat
            d->setFixedSize(du.X(139), du.Y(47));
            MakeLabel(d, du, {7, 18, 125, 8}, "status", Shown(statusText), Qt::AlignHCenter);
            break;
        }
        d->show();
        d->raise();
        d->activateWindow();
        if (QWidget *button = d->findChild<QPushButton *>())
            button->setFocus(Qt::ActiveWindowFocusReason);
        else
            d->setFocus(Qt::ActiveWindowFocusReason);
    }

    // The keyboard goes back to the window that had it, as a window manager
    // would do; without one it would stay nowhere.
    ~QtWindow() {
        const bool hadKeyboard = !dialog_.isNull() && dialog_->isActiveWindow();
        delete dialog_.data();
        if (hadKeyboard && !previous_.isNull() && previous_->isVisible())
            previous_->activateWindow();
    }
    QtWindow(const QtWindow &) = delete;
    QtWindow &operator=(const QtWindow &) = delete;

    void ShowText(int field, const QString &s) {
        if (dialog_.isNull())
            return;
        switch (field) {
        case kZvc450QtCaption: dialog_->setWindowTitle(Shown(s)); break;
        case kZvc450QtIndex: if (index_) index_->setText(s); break;
        case kZvc450QtStatus: if (status_) status_->setFullText(Shown(s)); break;
        case kZvc450QtPercentage: if (percent_) percent_->setText(s); break;
        case kZvc450QtSpeed: if (speed_) speed_->setText(Shown(s)); break;
        default: break;
        }
    }

    // QProgressBar counts in int; ranges of files up to 4 GiB are scaled down
    // by a power of two until they fit.  An empty range shows an empty bar
    // (a 0..0 QProgressBar would show the busy animation instead).
    void ShowBar(unsigned minimum, unsigned maximum, unsigned position) {
        if (dialog_.isNull() || bar_ == nullptr)
            return;
        const unsigned span = maximum - minimum;
        const unsigned pos = position < minimum ? 0 : position > maximum ? span : position - minimum;
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
    QPointer<QWidget> previous_;  // the active window before this one
    QPointer<QLabel> index_, percent_, speed_;
    QPointer<ElidedLabel> status_;
    QPointer<QProgressBar> bar_;
};

}  // namespace

void *CreateWindow(int kind, void *owner, unsigned *flags, unsigned cancelBit, const char *caption,
                   const char *index, const char *status) {
    if (!HasApplication())
        return nullptr;
    return new QtWindow(kind, static_cast<QWidget *>(owner), flags, cancelBit, QString::fromUtf8(caption),
                        QString::fromUtf8(index), QString::fromUtf8(status));
}

void SetText(void *window, int field, const char *text) {
    static_cast<QtWindow *>(window)->ShowText(field, QString::fromUtf8(text));
}

void SetBar(void *window, unsigned minimum, unsigned maximum, unsigned position) {
    static_cast<QtWindow *>(window)->ShowBar(minimum, maximum, position);
}

void DestroyWindow(void *window) { delete static_cast<QtWindow *>(window); }

}  // namespace qt
}  // namespace zvc450
