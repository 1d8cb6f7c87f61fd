// What the emulated player keeps between runs, all in one state folder:
//
//   internal.img   internal memory (NAND), FAT image, default 64 MiB FAT16
//   card.img       external memory (card), FAT image, default 32 MiB
//   font.bin       LCD font area: the font bytes as downloaded
//   font.name      the font's name as the host gave it
//   boot.bin       boot code area (at most 8192 bytes)
//   app.bin        application ("codec") code area
//
// Images are created and formatted the first time a folder is used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fat_volume.h"

namespace emu {

// One memory of the player: an image file with a FAT file system, or an
// image the firmware cannot use (unformatted), or no medium at all.
class Memory {
public:
    Memory(std::string image, uint64_t bytes, uint8_t mediumType, WriteFaults *faults);

    // Creates and formats the image when it does not exist yet; opens it.
    // present = false models a card slot without a card.  With
    // showUnformatted the firmware ignores the file system on the image
    // until the host formats it.
    bool Prepare(bool present, bool showUnformatted, std::string *err);

    bool Present() const { return present_; }
    // Null when absent or unformatted.
    FatVolume *Volume() { return volume_.get(); }
    uint8_t MediumType() const { return mediumType_; }
    uint32_t PhysicalBlocks() const;
    const std::string &Image() const { return image_; }

    // Makes a new file system (low level: the data area is erased as well).
    // Returns the player's internal error code.
    int Format(bool lowLevel);
    // Raw 16 KiB block of the medium (also when it is unformatted).
    int ReadBlock(uint32_t block, uint8_t *out);

private:
    void Adopt(std::unique_ptr<FatVolume> volume);

    std::string image_;
    uint64_t bytes_;
    uint8_t mediumType_;
    WriteFaults *faults_;
    bool present_ = false;
    std::unique_ptr<FatVolume> volume_;
};

// A flash area kept in a file: the font area and the two code areas.
class FlashArea {
public:
    FlashArea(std::string path, size_t capacity);
    bool Load(std::string *err);
    const std::vector<uint8_t> &Content() const { return content_; }
    size_t Capacity() const { return capacity_; }
    // Erased flash takes writes; the firmware refuses writing over code that
    // was not erased first.
    bool Erased() const { return content_.empty(); }
    bool Erase();
    bool Store(std::vector<uint8_t> bytes);

private:
    std::string path_;
    size_t capacity_;
    std::vector<uint8_t> content_;
};

struct StateOptions {
    std::string folder;
    uint64_t internalBytes = 64ull << 20;
    uint64_t cardBytes = 32ull << 20;
    bool card = true;
    bool unformatted = false;
};

class PlayerState {
public:
    static constexpr size_t kBootCapacity = 8192;
    static constexpr size_t kAppCapacity = 65535ull * 512;
    static constexpr size_t kFontCapacity = 4u << 20;

    explicit PlayerState(const StateOptions &opt);
    bool Prepare(std::string *err);

    Memory &Internal() { return internal_; }
    Memory &Card() { return card_; }
    FlashArea &Font() { return font_; }
    const std::string &FontName() const { return fontName_; }
    bool SetFont(const std::string &name, std::vector<uint8_t> bytes);
    bool EraseFont();
    FlashArea &Boot() { return boot_; }
    FlashArea &App() { return app_; }
    // Faults on the writes to both images (and their count).
    WriteFaults &ImageWrites() { return imageWrites_; }

private:
    StateOptions opt_;
    WriteFaults imageWrites_;
    Memory internal_, card_;
    FlashArea font_, boot_, app_;
    std::string fontName_;
};

}  // namespace emu
