#include "ComboBoxFolder.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>

HComboBoxFolder::HComboBoxFolder(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("FolderComboBox"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumContentsLength(16);
}

HTreeCtrlFolder *HComboBoxFolder::createTree(int width, int height)
{
    if (!m_tree) {
        m_tree = new HTreeCtrlFolder(this);
        connect(m_tree, &HTreeCtrlFolder::folderChanged, this, &HComboBoxFolder::folderChanged);
        connect(m_tree, &HTreeCtrlFolder::currentPlaceChanged, this, qOverload<>(&QWidget::update));
    }
    m_dropDownWidth = width < 1 ? this->width() : width;
    m_dropDownHeight = height < 1 ? 100 : height;
    m_tree->fill();
    return m_tree;
}

void HComboBoxFolder::setImages(const QList<QIcon> &images)
{
    if (m_tree)
        m_tree->setImages(images);
    update();
}

const HFolder *HComboBoxFolder::currentFolder() const
{
    return m_tree ? m_tree->currentFolder() : nullptr;
}

bool HComboBoxFolder::selectPath(const QString &path, bool notify)
{
    const bool ok = m_tree && m_tree->selectPath(path, notify);
    update();
    return ok;
}

bool HComboBoxFolder::addBelowKind(std::unique_ptr<HFolder> folder, int kind)
{
    return m_tree && m_tree->addBelowKind(std::move(folder), kind);
}

bool HComboBoxFolder::goUp()
{
    return m_tree && m_tree->goUp();
}

bool HComboBoxFolder::goUpToExisting()
{
    return m_tree && m_tree->goUpToExisting();
}

void HComboBoxFolder::prune(bool notify, QTreeWidgetItem *stop)
{
    if (m_tree)
        m_tree->prune(notify, stop);
}

bool HComboBoxFolder::isDropDownVisible() const
{
    return m_tree && m_tree->isVisible();
}

void HComboBoxFolder::showPopup()
{
    if (m_tree && !m_tree->isVisible())
        m_tree->showDropDown(m_dropDownWidth > 0 ? m_dropDownWidth : width(), m_dropDownHeight);
}

void HComboBoxFolder::hidePopup()
{
    if (m_tree)
        m_tree->hideDropDown();
}

QSize HComboBoxFolder::sizeHint() const
{
    QSize s = QComboBox::sizeHint();
    s.setHeight(std::max(s.height(), kImageSize + 8));
    return s;
}

QSize HComboBoxFolder::minimumSizeHint() const
{
    QSize s = QComboBox::minimumSizeHint();
    s.setHeight(std::max(s.height(), kImageSize + 8));
    return s;
}

void HComboBoxFolder::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);

    // The selection field: the place's image 4 pixels in, vertically centred, and its name
    // after it; drawn selected while the box has the focus.
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    const HFolder *f = currentFolder();
    if (!f || !m_tree)
        return;
    const int imgTop = field.top() + (field.height() - kImageSize) / 2;
    m_tree->image(f->image).paint(&painter, QRect(field.left() + 4, imgTop, kImageSize, kImageSize));

    const QRect textRect(field.left() + 4 + kImageSize + 4, field.top(), field.width() - kImageSize - 8, field.height());
    const QString text = painter.fontMetrics().elidedText(f->displayName, Qt::ElideRight, textRect.width() - 4);
    const QColor windowText = palette().color(QPalette::WindowText);
    if (hasFocus() && !isDropDownVisible()) {
        QRect bg = painter.fontMetrics().boundingRect(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
        bg.adjust(-2, 0, 2, 0);
        painter.fillRect(bg & field, palette().color(QPalette::Highlight));
        painter.setPen(QColor(~windowText.rgb() & 0xffffff));
    } else {
        painter.setPen(windowText);
    }
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

void HComboBoxFolder::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (isDropDownVisible())
        hidePopup();
    else
        showPopup();
}

void HComboBoxFolder::mouseDoubleClickEvent(QMouseEvent *e)
{
    mousePressEvent(e);
}

void HComboBoxFolder::stepCurrent(bool forward)
{
    if (!m_tree || !m_tree->currentPlace())
        return;
    QTreeWidgetItem *cur = m_tree->currentPlace();
    QTreeWidgetItem *next = forward ? m_tree->itemBelow(cur) : m_tree->itemAbove(cur);
    if (next)
        m_tree->makeCurrent(next, true);
    update();
}

void HComboBoxFolder::keyPressEvent(QKeyEvent *e)
{
    const bool alt = e->modifiers() & Qt::AltModifier;
    switch (e->key()) {
    case Qt::Key_Down:
        if (alt)
            showPopup();
        else
            stepCurrent(true);
        return;
    case Qt::Key_Right:
        stepCurrent(true);
        return;
    case Qt::Key_Up:
    case Qt::Key_Left:
        stepCurrent(false);
        return;
    case Qt::Key_F4:
        showPopup();
        return;
    default:
        // Nothing else of a combo box applies: it has no list of its own.
        e->ignore();
    }
}

void HComboBoxFolder::wheelEvent(QWheelEvent *e)
{
    e->ignore();
}
