#include "Mp3View.h"

#include "FileListCtrl.h"
#include "Mp3MemVw.h"
#include "StringTable.h"
#include "zvs450.h"

#include <QApplication>
#include <QPainter>
#include <QResizeEvent>
#include <QSplitter>
#include <qdrawutil.h>

#include <algorithm>

namespace {

// Gap of the splitter inside the container, all round.
constexpr int kSplitterMargin = 5;

} // namespace

HMp3View::HMp3View(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Mp3Player Explorer"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

bool HMp3View::connectDevice()
{
    // A connection that still answers leaves the outputs alone: keep what we had.
    int count = m_count;
    int mask = m_mask;
    const bool open = zvs450_Connect(true, &count, &mask);
    if (!open) {
        count = 0;
        mask = 0;
    }
    m_count = count;
    m_mask = mask;
    showMemoryRows(m_count);
    titleAndRefresh();
    update();
    return open;
}

void HMp3View::showMemoryRows(int count)
{
    if (count <= 0) {
        if (m_splitter)
            m_splitter->hide();
        update();
        return;
    }
    if (!m_splitter) {
        m_splitter = new QSplitter(Qt::Vertical, this);
        m_splitter->setObjectName(QStringLiteral("MemorySplitter"));
        m_splitter->setChildrenCollapsible(false);
        // Two rows at least: without a card the second row stays as the empty
        // "External Memory" strip, so the window looks the same either way.
        const int rows = std::max(count, 2);
        for (int i = 0; i < rows; ++i) {
            auto *view = new HMp3MemView(m_splitter, m_prompter);
            view->setObjectName(QStringLiteral("Mp3 Memory Viewer %1").arg(i));
            view->resize(view->width(), 100);
            m_splitter->addWidget(view);
            m_views.append(view);
            emit memoryViewCreated(view);
        }
        placeSplitter();
    }
    m_splitter->show();
    if (m_balanced)
        balanceRows();
}

void HMp3View::balanceRows()
{
    if (!m_splitter || m_splitter->count() == 0)
        return;
    const int rows = m_splitter->count();
    const int inner = m_splitter->height() - (rows - 1) * m_splitter->handleWidth();
    const int each = std::max(0, inner / rows);
    QList<int> sizes(rows, each);
    sizes.last() = std::max(0, inner - each * (rows - 1));
    m_splitter->setSizes(sizes);
}

void HMp3View::placeSplitter()
{
    if (m_splitter)
        m_splitter->setGeometry(kSplitterMargin, kSplitterMargin, std::max(0, width() - 2 * kSplitterMargin),
                                std::max(0, height() - 2 * kSplitterMargin));
}

void HMp3View::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    placeSplitter();
    // The rows share the height equally the first time the pane has a size;
    // after that the user's divider positions are kept until the next connect.
    if (!m_balanced && m_splitter && isVisible() && height() > 2 * kSplitterMargin) {
        balanceRows();
        m_balanced = true;
    }
}

void HMp3View::paintEvent(QPaintEvent *)
{
    if (m_splitter && !m_splitter->isHidden())
        return;
    QPainter p(this);
    const QRect r = rect().adjusted(kSplitterMargin, kSplitterMargin, -kSplitterMargin, -kSplitterMargin);
    if (r.width() <= 0 || r.height() <= 0)
        return;
    qDrawShadePanel(&p, r, palette(), true, 2);
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text::tr(text::kPlayerNotConnected));
}

HMp3MemView *HMp3View::memoryView(int index) const
{
    if (index == -1) {
        QWidget *focus = QApplication::focusWidget();
        for (const QPointer<HMp3MemView> &v : m_views)
            if (v && focus && (focus == v || v->isAncestorOf(focus)))
                return v;
        return nullptr;
    }
    if (index < 0 || index >= m_views.size())
        return nullptr;
    return m_views.at(index);
}

int HMp3View::rowCount() const
{
    return m_splitter ? m_splitter->count() : 0;
}

bool HMp3View::present(int index) const
{
    if (index == -1)
        return m_count > 0;
    return index >= 0 && index < 2 && (m_mask & (1 << index)) != 0;
}

int HMp3View::selectedCount(int index) const
{
    HMp3MemView *v = memoryView(index);
    return v ? v->list()->selectedCount() : 0;
}

bool HMp3View::canDrop(int index) const
{
    HMp3MemView *v = memoryView(index);
    return v && v->canDrop();
}

bool HMp3View::formatMemory(int index, bool lowLevel)
{
    HMp3MemView *v = memoryView(index);
    return v && v->format(lowLevel, index);
}

void HMp3View::titleAndRefresh()
{
    for (int i = 0; i < m_views.size(); ++i) {
        HMp3MemView *v = m_views.at(i);
        if (!v)
            continue;
        v->setTitle(text::tr(i == 0 ? text::kInternalMemory : text::kExternalMemory));
        // A row the player does not have now (none at all when it is gone) must not keep
        // what it showed before: those rows would still take drops and start transfers.
        if (i < m_count)
            v->refresh(false, i);
        else
            v->showNotConnected();
    }
}

void HMp3View::setPrompter(HMemPrompter *prompter)
{
    m_prompter = prompter;
    for (const QPointer<HMp3MemView> &v : m_views)
        if (v)
            v->setPrompter(prompter);
}
