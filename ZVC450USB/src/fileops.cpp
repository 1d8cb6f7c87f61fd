// fileops.cpp - delete, rename and the directory commands.
//
// Each is one command and one answer.  Files are addressed by their index
// in the current directory's file list (one byte on older firmware, two
// bytes high byte first from 1.30 on); directories by their key, the low
// 16 bits of their first cluster.  New names travel as FAT entry sets; a
// rename copies the old entry's stamps, cluster and size into the new short
// entry so the player keeps them.

#include "progress.h"
#include "protocol.h"

#include <cstring>
#include <vector>

namespace zvc450 {
namespace {

// An entry set must fit one "DM" packet (Ex2: at most 502 payload bytes).
constexpr int kMaxMakeDirEntries = 15;

// The entry set of a renamed file or directory: the new name, with what the
// player must keep from the old entry (attribute, stamps, first cluster and
// size) in its short entry.  Not the old name's case flags: the new name
// shows as it was written.  False with error 13 for a name no FAT entry can
// hold.
bool renamedEntrySet(const char *newName, const ZVC450_DIRENTRY &old, std::vector<uint8_t> *set)
{
    if (!encodeName(newName, false, set))
        return false;
    uint8_t *shortEntry = set->data() + set->size() - kDirEntrySize;
    putRecordFields(shortEntry, old);
    shortEntry[kEntryCaseFlags] &= uint8_t(~kCaseFlagBits);
    return true;
}

int keyCommand(HZVC450 h, int memory, uint16_t cmd, unsigned key)
{
    if (!validMemory(memory) || !fwHasDirectories(effectiveFirmware()))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    return exchangeEx(h, memory, cmd, Payload().be16(key & 0xFFFF));
}

}  // namespace
}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_Delete(void *owner, HZVC450 h, int memory, int fileIndex, const char *displayName)
{
    Payload number;
    if (!validMemory(memory) || !number.fileNumber(fileIndex))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    ScopedWindow window(CreateDeletingWindow(owner, fileIndex, displayName));
    return exchange(h, memory, 'E', number);
}

ZVC450_API int ZVC450_Rename(HZVC450 h, int memory, int fileIndex, const char *newName,
                             const ZVC450_DIRENTRY *entry)
{
    Payload number;
    if (!validMemory(memory) || !number.fileNumber(fileIndex))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    if (!fwWideProtocol(effectiveFirmware())) {
        std::string shortName;
        bool lossy = false;
        if (!newName || !makeShortName(newName, &shortName, &lossy) || shortName.size() > 12)
            return fail(ZVS450USB_ERR_INVALID_FILENAME);
        return exchange(h, memory, 'N', number.text(shortName));
    }
    // Without the old entry the player would be given a file without its
    // cluster and size.  The caller's mistake, not the player's refusal.
    if (!entry)
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    std::vector<uint8_t> set;
    if (!renamedEntrySet(newName, *entry, &set))
        return 0;
    return answerTo(h, ZVC450_SendCommandIrregular(h, memory, 'N', 2, number.data(), number.size(), set.data(),
                                                   int(set.size())));
}

ZVC450_API int ZVC450_ChangeDirectory(HZVC450 h, int memory, unsigned key)
{
    return keyCommand(h, memory, twoCharCommand('D', 'C'), key);
}

ZVC450_API int ZVC450_MakeDirectory(HZVC450 h, int memory, const char *name)
{
    if (!validMemory(memory) || !fwHasDirectories(effectiveFirmware()))
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    std::vector<uint8_t> set;
    if (!encodeName(name, false, &set))
        return 0;
    // The set travels in one packet; a longer name cannot be made here.
    if (set.size() > size_t(kMaxMakeDirEntries * kDirEntrySize))
        return fail(ZVS450USB_ERR_INVALID_FILENAME);
    set[set.size() - kDirEntrySize + kEntryAttribute] = kAttrDirectory;
    return answerTo(h, ZVC450_SendCommandEx2(h, memory, twoCharCommand('D', 'M'), set.data(), int(set.size())));
}

ZVC450_API int ZVC450_RemoveDirectory(HZVC450 h, int memory, unsigned key)
{
    return keyCommand(h, memory, twoCharCommand('D', 'R'), key);
}

ZVC450_API int ZVC450_RenameDirectory(HZVC450 h, int memory, const char *newName, const ZVC450_DIRENTRY *entry)
{
    if (!validMemory(memory) || !fwHasDirectories(effectiveFirmware()) || !entry)
        return fail(ZVC450USB_ERR_UNSUPPORTED);
    std::vector<uint8_t> set;
    if (!renamedEntrySet(newName, *entry, &set))
        return 0;
    const Payload key = Payload().be16(entry->dwFirstCluster & 0xFFFF);
    return answerTo(h, ZVC450_SendCommandExIrregular(h, memory, twoCharCommand('D', 'N'), 2, key.data(), key.size(),
                                                     set.data(), int(set.size())));
}

}  // extern "C"
