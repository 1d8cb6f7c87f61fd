/*
 * convert.h - converters of the player's voice recordings to WAV files.
 *
 * The player records speech in two formats of its own:
 *   BCW  IMA ADPCM blocks of 256 bytes, each behind four 0x7F sync bytes;
 *        converted without decoding into an IMA ADPCM WAV.
 *   BVF  AMR-NB speech at 4.75 or 5.9 kbit/s; decoded with opencore-amr
 *        into a 16-bit PCM WAV.
 *
 * Used by the upload (conversion kinds 1 and 2: the raw bytes land in a
 * temporary file first, then one of these converts it into the caller's
 * local path) and by the exported ZVC450_ConvertBcwToWav/ZVC450_ConvertBvfToWav.
 *
 * All functions run on the caller's thread.  A conversion that does not
 * finish - bad data, a file error, Cancel - removes the WAV it created, so
 * a half-written WAV never stays behind.  The source file is never changed.
 *
 * Errors: the functions do not touch the library's error state.  They fill
 * a ConvertStatus instead, with the library error code the caller should
 * set:
 *   ZVC450USB_ERR_WINDOWS (6)       a file could not be opened, read or
 *                                   written; sysError holds the errno
 *                                   (ENOENT, EACCES, EISDIR, ENOSPC, ...);
 *                                   ENOSPC also when the WAV would not fit
 *                                   the destination's free space, found
 *                                   before the WAV is created
 *   ZVS450USB_ERR_USERBREAK (14)    the progress callback asked to stop
 *   ZVC450USB_ERR_FORMAT (10)       the source is not a recording of the
 *                                   kind (BVF: header sync word missing,
 *                                   header cut short, mode byte not 0 or 1)
 *   ZVC450USB_ERR_MEMORY_ALLOC (7)  the AMR decoder could not be set up
 *   ZVC450USB_ERR_FILE_TOOBIG (8)   the WAV would pass the 4 GiB that its
 *                                   32-bit sizes can describe (found before
 *                                   the WAV is created: one byte of BVF can
 *                                   decode to 320 bytes of sound)
 * A BCW source is never "bad data": bytes that do not form frames are
 * skipped, and a recording without any frame gives an empty WAV.
 *
 * For the upload: set the library error from the status when the converter
 * fails (code 6 through ZVC450_SetWindowsError(status.sysError), any other
 * through ZVC450_SetError) and report failure, except that 14 is the silent
 * user break.  The temporary file is the caller's to delete.
 */
#pragma once

#include <cstdio>

namespace zvc450 {

/* Progress of a conversion: pos bytes of the recording consumed out of
 * total (the recording's size).  Return non-zero to cancel.  May be null.
 * Same shape as ZVC450_PROGRESS_CB of the public header. */
using ConvertProgressFn = int (*)(unsigned pos, unsigned total, void *user);

struct ConvertStatus {
    int error = 0;     /* ZVC450USB_ERR_* as listed above; 0 on success */
    int sysError = 0;  /* errno when error is ZVC450USB_ERR_WINDOWS */
};

/*
 * BCW -> IMA ADPCM WAV.  Progress is reported after each piece (up to
 * 256 KB) read from the recording; the first call comes before any frame
 * is written, also for an empty recording.  Returns true when the WAV is
 * complete.
 */
bool ConvertBcwToWav(const char *sourcePath, const char *wavPath, ConvertProgressFn progress,
                     void *user, ConvertStatus *status = nullptr);

/*
 * BVF -> 16-bit PCM WAV, 8 kHz mono.  Progress is reported once per frame,
 * with the position just after that frame.  A last frame cut short by the
 * end of the file is dropped (its missing bits would only decode to noise).
 * The header is checked before the WAV is created, so a file that is not a
 * BVF recording leaves an existing file of the WAV's name alone.  Returns
 * true when the WAV is complete.
 */
bool ConvertBvfToWav(const char *sourcePath, const char *wavPath, ConvertProgressFn progress,
                     void *user, ConvertStatus *status = nullptr);

/*
 * The core of ConvertBvfToWav on open streams: reads the recording from
 * the start of `in`, writes the whole PCM WAV (header included) from the
 * start of `out`.  `in` must be seekable (its size is the progress total);
 * `out` must be seekable (the header is written last) and empty.
 * Returns 0 on success, -1 when the header is not a BVF header, a stream
 * failed or the callback cancelled, -2 when the decoder could not be set up;
 * `status` says which.  It neither closes nor deletes anything.
 */
int DecodeBvfStream(std::FILE *in, std::FILE *out, ConvertProgressFn progress, void *user,
                    ConvertStatus *status = nullptr);

}  // namespace zvc450
