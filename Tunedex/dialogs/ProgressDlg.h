// The program's own progress window, used while the device view makes many directories
// (the device library shows its own windows for transfers and formatting). The caller runs
// its loop, sets the position and pumps the events so that Cancel works. Like the library's
// windows it is modal to the whole program while shown and takes the keyboard focus: the
// loop is one operation on the player, and nothing else may reach the player in between
// (a directory opened meanwhile would receive the rest of the new directories).
#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;

class HProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit HProgressDlg(QWidget *parent = nullptr);

    // The bar's range; the position goes back to `lower`.
    void setRange(int lower, int upper);
    // The bar's position and the percentage of `upper` beside it.
    void setPos(int pos);
    void setStatus(const QString &text);
    void setIndexText(const QString &text);
    // Handles every waiting event, so the window and its Cancel button stay responsive.
    void pump();
    bool isCancelled() const { return m_cancelled; }

    QString percentText() const;
    QString statusText() const;
    // "%d%%" of pos * 100 / upper; "0%" when upper is 0.
    static QString percentFor(int pos, int upper);

    // Escape and the close box cancel like the Cancel button; the caller's loop closes
    // the window.
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    QLabel *m_index = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_percent = nullptr;
    QProgressBar *m_bar = nullptr;
    int m_lower = 0;
    int m_upper = 0;
    bool m_cancelled = false;
    QPointer<QWidget> m_previous;  // the active window before this one
};
