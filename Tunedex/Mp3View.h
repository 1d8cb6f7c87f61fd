#pragma once
// The player's pane ("Mp3Player Explorer"): one device memory view per memory,
// stacked in a splitter, or "ZVC450 is not Connected." when no player answers.
// The client view holds it; the drag and drop of the panes finds the memory
// views through it.

#include <QList>
#include <QPointer>
#include <QWidget>

class HMp3MemView;
class HMemPrompter;
class QSplitter;

class HMp3View : public QWidget
{
    Q_OBJECT
public:
    explicit HMp3View(QWidget *parent = nullptr);

    // Connects through the device session, shows a row per memory (or the
    // not-connected picture), titles the views and lists each memory present.
    // True when the session has a connection.
    bool connectDevice();

    // The view of splitter row index; -1: the view that holds the keyboard
    // focus. Null when there is none.
    HMp3MemView *memoryView(int index) const;
    int rowCount() const;
    int memoryCount() const { return m_count; }
    int presentMask() const { return m_mask; }
    // index -1: any memory; otherwise the memory's bit of the present mask.
    bool present(int index) const;
    int selectedCount(int index) const;
    bool canDrop(int index) const;
    bool formatMemory(int index, bool lowLevel);
    // Titles every row and refreshes (not forced) the rows below the memory count; the
    // other rows show that their memory is not connected.
    void titleAndRefresh();

    QSplitter *splitter() const { return m_splitter; }
    // Question and message handler of the memory views (tests); not owned.
    void setPrompter(HMemPrompter *prompter);

signals:
    // A memory view was created (the frame connects its signals).
    void memoryViewCreated(HMp3MemView *view);

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void showMemoryRows(int count);
    void balanceRows();
    void placeSplitter();

    QSplitter *m_splitter = nullptr;
    QList<QPointer<HMp3MemView>> m_views;
    HMemPrompter *m_prompter = nullptr;
    int m_count = 0;
    int m_mask = 0;
    bool m_balanced = false;
};
