// The session's play-order operation: the files of a memory's current
// directory put into order with the player's exchange command (Replace).

#include "zvs450_p.h"

#include <string>
#include <vector>

using namespace zvs450_detail;

namespace {

// Collects the files as the views show them, with the dates the date order
// needs from the cache.
class TrackSink final : public Zvs450ItemSink
{
public:
    explicit TrackSink(int memory) : m_memory(memory) {}
    void addItem(const QString &name, int index, quint32 size, quint32) override
    {
        const ZVC450_DIRENTRY &entry = session().memory[m_memory].files[static_cast<size_t>(index)];
        playorder::Track t;
        t.name = name.toStdString();
        t.size = size;
        t.date = entry.wWriteDate;
        t.time = entry.wWriteTime;
        tracks.push_back(t);
    }
    std::vector<playorder::Track> tracks;

private:
    int m_memory;
};

} // namespace

int zvs450_SortFiles(QWidget *owner, int memory, playorder::Key key, const std::function<bool(int, int)> &progress)
{
    Session &s = session();
    if (!s.handle)
        return reportNotOpen(owner);
    if (const int error = refreshFirst(owner, memory))
        return error;
    TrackSink sink(memory);
    if (!zvs450_EnumFiles(memory, sink, false))
        return reportLast(owner, Cancel::Silent);
    const std::vector<playorder::Exchange> exchanges =
        playorder::Exchanges(playorder::SortedOrder(sink.tracks, key, false));
    const int total = static_cast<int>(exchanges.size());
    // Each exchange is complete on the player before the next one starts:
    // stopped anywhere, every file is there, only in a partial order.
    int error = ZVC450USB_ERR_NONE;
    for (int done = 0; done < total && error == ZVC450USB_ERR_NONE; ++done) {
        if (progress && !progress(done, total))
            error = ZVS450USB_ERR_USERBREAK;
        else if (!s.handle)
            error = reportNotOpen(owner);
        else if (!ZVC450_Replace(s.handle, memory, exchanges[static_cast<size_t>(done)].a,
                                 exchanges[static_cast<size_t>(done)].b))
            error = reportLast(owner, Cancel::Silent);
    }
    if (error == ZVC450USB_ERR_NONE && progress)
        progress(total, total);
    markStale(memory);
    return error;
}
