// The desktop pane's folder combo box: a closed box showing the current place with its
// image and name, which drops down the place tree instead of a list.
#pragma once

#include "TreeCtrlFolder.h"

#include <QComboBox>

#include <memory>

class HComboBoxFolder : public QComboBox {
    Q_OBJECT
public:
    explicit HComboBoxFolder(QWidget *parent = nullptr);

    // Creates and fills the tree. A width or height below 1 means the box's width and
    // 100 pixels.
    HTreeCtrlFolder *createTree(int width, int height);
    HTreeCtrlFolder *tree() const { return m_tree; }
    void setImages(const QList<QIcon> &images);
    void setDropDownWidth(int width) { m_dropDownWidth = width; }
    void setDropDownHeight(int height) { m_dropDownHeight = height; }
    int dropDownWidth() const { return m_dropDownWidth; }
    int dropDownHeight() const { return m_dropDownHeight; }

    const HFolder *currentFolder() const;
    bool selectPath(const QString &path, bool notify = true);
    bool addBelowKind(std::unique_ptr<HFolder> folder, int kind);
    bool goUp();
    bool goUpToExisting();
    void prune(bool notify, QTreeWidgetItem *stop);

    bool isDropDownVisible() const;
    void showPopup() override;
    void hidePopup() override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The folder-changed notification: a place became current (sent synchronously).
    void folderChanged(const HFolder *folder);

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;

private:
    void stepCurrent(bool forward);

    HTreeCtrlFolder *m_tree = nullptr;
    int m_dropDownWidth = 0;
    int m_dropDownHeight = 100;
    static constexpr int kImageSize = 16;
};
