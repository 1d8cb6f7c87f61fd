// "Configuration" (Edit > Option): every device-related setting on six pages chosen from
// a tree: time-outs, ROM selection, ADPCM and BVF conversion, raw data, and the expected
// firmware version with the user's USB identifiers. OK stores everything and passes the
// firmware version and USB identifiers straight to the device library; Cancel changes
// nothing.
#pragma once

#include <QDialog>

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

    explicit HConfigDlg(QWidget *parent = nullptr);

    const Controls &controls() const { return m_c; }
    QTreeWidget *tree() const { return m_tree; }
    int currentPage() const { return m_page; }
    void showPage(int page);
    // Title of a page, and the group box's text while it is shown (" title ").
    static QString pageTitle(int page);
    QString pageCaption() const;

    void loadValues();
    void storeValues();
    void accept() override;

    // The Browse buttons of the raw-data page.
    void browseRawFile();
    void browseViewer();

    // Value parsing as the dialog reads its edits.
    // Leading decimal digits after leading white space; none gives 0.
    static unsigned parseDecimal(const QString &text);
    // Leading spaces and tabs skipped; "0x"/"0X" means hexadecimal, otherwise decimal.
    static unsigned parseNumber(const QString &text);
    // Hexadecimal digits; an empty or non-hexadecimal text gives 0.
    static unsigned parseHex(const QString &text);
    // The expected-firmware list: index of a stored version code, and the code of an index.
    static int firmwareIndexFor(unsigned code);
    static unsigned firmwareCodeFor(int index);

protected:
    // The file dialogs (tests answer them without a person). Empty: cancelled.
    virtual QString chooseSaveFile(const QString &initial);
    virtual QString chooseOpenFile(const QString &initial);

private:
    QWidget *buildPage(int page);
    void onItemChanged(QTreeWidgetItem *current);

    Controls m_c;
    QTreeWidget *m_tree = nullptr;
    QGroupBox *m_frame = nullptr;
    QStackedWidget *m_pages = nullptr;
    int m_page = -1;
};
