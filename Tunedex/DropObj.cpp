#include "DropObj.h"

#include "DeskView.h"
#include "FileListCtrl.h"
#include "Mp3MemVw.h"

HDropObject::~HDropObject() = default;

// ---- Desktop pane ---------------------------------------------------------------------

QWidget *HDeskDropTarget::dropWindow() const
{
    return m_view ? m_view->list() : nullptr;
}

bool HDeskDropTarget::accept(const HFileTransferList &list, bool transfer)
{
    return m_view && m_view->acceptDrop(list, transfer);
}

QString HDeskDropTarget::destinationFolder() const
{
    return m_view ? m_view->destinationFolder() : QString();
}

bool HDeskDropTarget::canDrop() const
{
    return m_view && m_view->canDrop();
}

// ---- Device memory pane -------------------------------------------------------------------

QWidget *HMemDropTarget::dropWindow() const
{
    return m_view ? m_view->dropWindow() : nullptr;
}

bool HMemDropTarget::accept(const HFileTransferList &list, bool transfer)
{
    return m_view && m_view->acceptDrop(list, transfer);
}

bool HMemDropTarget::canDrop() const
{
    return m_view && m_view->canDrop();
}
