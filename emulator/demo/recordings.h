// The player's two voice-recording formats, written from ordinary audio for
// the emulated player's demo content.
//
// BCW: IMA ADPCM, 8 kHz mono, 256-byte blocks (505 samples), each block on
// the player preceded by the four synchronisation bytes 0x7F.
//
// BVF: AMR-NB speech at 4.75 kbit/s (mode 0) or 5.9 kbit/s (mode 1).  A
// 9-byte header (mode, frame-type flag, 0xFF 0xFB, 5 bytes), the frames, and
// after every 10 frames a 7-byte synchronisation block (0xFF 0xFB, 5 bytes).
// Frame bits are the codec's parameters in serial order, least significant
// bit of each byte first; with the frame-type flag set, the first two bits
// carry the frame type (0 speech, 1 SID_FIRST, 2 SID_UPDATE, 3 no data).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace emu {
namespace demo {

using Bytes = std::vector<uint8_t>;

// Blocks of an IMA ADPCM WAV file (format 0x11, mono, 256-byte blocks) in
// the player's framing.  false with *err when the WAV is not such a file.
bool BcwFromImaWav(const Bytes &wav, Bytes *bcw, std::string *err);

// 16-bit mono PCM samples of a WAV file at 8000 Hz.
bool PcmFromWav(const Bytes &wav, std::vector<int16_t> *samples, std::string *err);

// One frame as opencore-amr's encoder returns it (RFC 4867 storage order:
// header byte, then the bits in bit-sensitivity order, most significant bit
// first) turned into the codec's serial bit order.  Returns the frame type
// (0 speech, 1 SID_FIRST, 2 SID_UPDATE, 3 no data) and the serial bits, one
// per element; -1 for frames of other modes.
int SerialBitsFromStorage(const uint8_t *frame, size_t size, std::vector<uint8_t> *bits);

// A BVF recording of the samples; mode 0 (4.75) or 1 (5.9).  With dtx the
// encoder may send silence descriptors, so the frame-type flag is set.
bool EncodeBvf(const std::vector<int16_t> &samples, int mode, bool dtx, Bytes *bvf, std::string *err);

}  // namespace demo
}  // namespace emu
