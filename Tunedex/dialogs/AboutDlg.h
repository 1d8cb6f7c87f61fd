// The about box (Help > About TuneDeck...).
#pragma once

#include <QDialog>

class HAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit HAboutDlg(QWidget *parent = nullptr);
};
