#include "player_state.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace emu {

namespace {

bool FileSize(const std::string &path, uint64_t *size)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    *size = uint64_t(st.st_size);
    return true;
}

// Writes a whole file through a temporary name, so a crash never leaves a
// half-written area behind.
bool WriteFileAtomically(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f)
            return false;
        f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        if (!f)
            return false;
    }
    return rename(tmp.c_str(), path.c_str()) == 0;
}

bool MakeFolder(const std::string &path, std::string *err)
{
    std::string partial;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || (path[i] == '/' && i > 0)) {
            partial = path.substr(0, i);
            if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                *err = "cannot create " + partial + ": " + strerror(errno);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

Memory::Memory(std::string image, uint64_t bytes, uint8_t mediumType, WriteFaults *faults)
    : image_(std::move(image)), bytes_(bytes), mediumType_(mediumType), faults_(faults)
{}

void Memory::Adopt(std::unique_ptr<FatVolume> volume)
{
    volume_ = std::move(volume);
    if (volume_)
        volume_->SetWriteFaults(faults_);
}

bool Memory::Prepare(bool present, bool showUnformatted, std::string *err)
{
    present_ = present;
    volume_.reset();
    if (!present)
        return true;
    uint64_t existing = 0;
    if (FileSize(image_, &existing)) {
        bytes_ = existing;
    } else if (!FatVolume::Format(image_, bytes_, err)) {
        *err = image_ + ": " + *err;
        return false;
    }
    if (showUnformatted)
        return true;
    std::string why;
    Adopt(FatVolume::Open(image_, &why));
    // An image without a usable file system is an unformatted medium: the
    // player reports it and waits for a format.
    return true;
}

// A last block the image only partly fills still counts: the medium
// information reports it and a raw read returns it padded with zeros.
uint32_t Memory::PhysicalBlocks() const
{
    return uint32_t((bytes_ + FatVolume::kBlockSize - 1) / FatVolume::kBlockSize);
}

int Memory::Format(bool lowLevel)
{
    if (!present_)
        return 2;  // card not detected
    if (volume_)
        return volume_->Reformat(lowLevel);
    FormatOptions opt;
    opt.lowLevel = lowLevel;
    std::string err;
    if (!FatVolume::Format(image_, bytes_, &err, opt))
        return kInternal;
    Adopt(FatVolume::Open(image_, &err));
    return volume_ ? kOk : kInternal;
}

int Memory::ReadBlock(uint32_t block, uint8_t *out)
{
    if (volume_)
        return volume_->ReadBlock(block, out);
    if (block >= PhysicalBlocks())
        return kInvalidBlock;
    const uint64_t at = uint64_t(block) * FatVolume::kBlockSize;
    const std::streamsize want = std::streamsize(std::min<uint64_t>(FatVolume::kBlockSize, bytes_ - at));
    std::fill(out, out + FatVolume::kBlockSize, 0);
    std::ifstream f(image_, std::ios::binary);
    f.seekg(std::streamoff(at));
    f.read(reinterpret_cast<char *>(out), want);
    return f.gcount() == want ? kOk : kInternal;
}

FlashArea::FlashArea(std::string path, size_t capacity) : path_(std::move(path)), capacity_(capacity) {}

bool FlashArea::Load(std::string *err)
{
    content_.clear();
    std::ifstream f(path_, std::ios::binary);
    if (!f)
        return true;  // never written: erased
    content_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    if (content_.size() > capacity_) {
        *err = path_ + " is larger than its area (" + std::to_string(capacity_) + " bytes)";
        return false;
    }
    return true;
}

bool FlashArea::Erase() { return Store({}); }

bool FlashArea::Store(std::vector<uint8_t> bytes)
{
    if (bytes.size() > capacity_)
        return false;
    if (!WriteFileAtomically(path_, bytes))
        return false;
    content_ = std::move(bytes);
    return true;
}

PlayerState::PlayerState(const StateOptions &opt)
    : opt_(opt),
      internal_(opt.folder + "/internal.img", opt.internalBytes, 1, &imageWrites_),
      card_(opt.folder + "/card.img", opt.cardBytes, 2, &imageWrites_),
      font_(opt.folder + "/font.bin", kFontCapacity),
      boot_(opt.folder + "/boot.bin", kBootCapacity),
      app_(opt.folder + "/app.bin", kAppCapacity)
{}

bool PlayerState::Prepare(std::string *err)
{
    if (!MakeFolder(opt_.folder, err))
        return false;
    if (!internal_.Prepare(true, opt_.unformatted, err))
        return false;
    if (!card_.Prepare(opt_.card, opt_.unformatted, err))
        return false;
    if (!font_.Load(err) || !boot_.Load(err) || !app_.Load(err))
        return false;
    std::ifstream n(opt_.folder + "/font.name", std::ios::binary);
    fontName_.assign(std::istreambuf_iterator<char>(n), std::istreambuf_iterator<char>());
    return true;
}

bool PlayerState::SetFont(const std::string &name, std::vector<uint8_t> bytes)
{
    if (!font_.Store(std::move(bytes)))
        return false;
    fontName_ = name;
    return WriteFileAtomically(opt_.folder + "/font.name", std::vector<uint8_t>(name.begin(), name.end()));
}

bool PlayerState::EraseFont() { return SetFont("", {}); }

}  // namespace emu
