// "Configuration" (Edit > Option): every device-related setting on six pages chosen from
// a tree: time-outs, ROM selection, ADPCM and BVF conversion, raw data, and the expected
// firmware version with the user's USB identifiers. OK stores everything and passes the
// firmware version and USB identifiers straight to the device library; Cancel changes
// nothing.
#pragma once

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

class HConfigDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPageCount = 6;

    // The controls, named after the numbers of the original dialog's pages.
    struct Controls {
        QLineEdit *recvTimeout = nullptr;     // page 0, 1002
        QLineEdit *sendTimeout = nullptr;     //         1003
        QLineEdit *formatTimeout = nullptr;   //         1004
        QCheckBox *verifyCopies = nullptr;    //         (read copies back)
        QRadioButton *romMds = nullptr;       // page 1, 1018
        QRadioButton *romStandAlone = nullptr; //        1019
        QRadioButton *adpcmWav = nullptr;     // page 2, 1021
        QRadioButton *adpcmBinary = nullptr;  //         1022
        QRadioButton *bvfWav = nullptr;       // page 3, 1021
        QRadioButton *bvfBinary = nullptr;    //         1022
        QLineEdit *rawFile = nullptr;         // page 4, 1024
        QLineEdit *rawViewer = nullptr;       //         1026
        QLineEdit *rawAddr = nullptr;         //         1027
        QLineEdit *rawCount = nullptr;        //         1031
        QComboBox *firmware = nullptr;        // page 5, 1030
        QLineEdit *userVid = nullptr;         //         1031
        QLineEdit *userPid = nullptr;         //         1032
        QCheckBox *internalOnly = nullptr;    //         1033
    };

    // Time-outs are whole milliseconds from one second up to the most the device library
    // holds (an unsigned 32-bit number of milliseconds, about 49 days).
    static constexpr unsigned kMinTimeoutMs = 1000;
    static constexpr unsigned kMaxTimeoutMs = 0xFFFFFFFFu;

    explicit HConfigDlg(QWidget *parent = nullptr);

    const Controls &controls() const { return m_c; }
    QTreeWidget *tree() const { return m_tree; }
    int currentPage() const { return m_page; }
    void showPage(int page);
    // Title of a page, and the group box's text while it is shown (" title ").
    static QString pageTitle(int page);
    QString pageCaption() const;

    void loadValues();
    // Puts the stored value back into every field that holds no valid one and says so;
    // false when there was any such field (the dialog then stays open).
    bool checkValues();
    // Stores every page; a field without a valid value keeps what was stored before.
    void storeValues();
    void accept() override;

    // The Browse buttons of the raw-data page.
    void browseRawFile();
    void browseViewer();

    // Value parsing as the dialog reads its edits.
    // A time-out: decimal digits, optionally grouped with "," or blanks as the hints write
    // them ("300,000"), from kMinTimeoutMs to kMaxTimeoutMs; none otherwise.
    static std::optional<unsigned> parseTimeout(const QString &text);
    // Leading spaces and tabs skipped; "0x"/"0X" means hexadecimal, otherwise decimal.
    static unsigned parseNumber(const QString &text);
    // A USB vendor or product id: exactly four hexadecimal digits, or an empty field for
    // none (0); none otherwise.
    static std::optional<unsigned> parseUsbId(const QString &text);
    // The expected-firmware list: index of a stored version code, and the code of an index.
    static int firmwareIndexFor(unsigned code);
    static unsigned firmwareCodeFor(int index);

protected:
    // The file dialogs (tests answer them without a person). Empty: cancelled.
    virtual QString chooseSaveFile(const QString &initial);
    virtual QString chooseOpenFile(const QString &initial);
    // Says which fields kept their old values, and why.
    virtual void showInputProblems(const QString &text);

private:
    QWidget *buildPage(int page);
    void onItemChanged(QTreeWidgetItem *current);

    Controls m_c;
    QTreeWidget *m_tree = nullptr;
    QGroupBox *m_frame = nullptr;
    QStackedWidget *m_pages = nullptr;
    int m_page = -1;
};
