// A WAV recording in the rate and channel count of the input, as libsndfile
// writes it: 16-bit PCM, 24-bit PCM or 32-bit float (RecordFormat). Frames
// finer than 16 bits keep their precision in a 24-bit or float file;
// 16-bit frames widen into either exactly, and a 16-bit file takes the
// code each finer value draws. The capture thread hands every chunk to the
// recorder's tap, which copies it into a bounded queue and returns at once; a
// writer thread of the recorder's own takes the chunks off the queue and
// writes them. A full queue drops the chunk and counts an overrun; nothing
// else is ever dropped. Sound the device itself lost (an overrun of its own
// buffer, a suspend) is written as silence of the length the device
// estimates, so time in the file stays true; one break is filled with at
// most kMaxBreakSilenceSeconds of silence (a machine that slept for hours
// does not fill the disk), and the breaks are counted.
//
// The recording is made in a new file beside the one chosen, which takes the
// chosen file's place (a rename) only once the caller has put the recording
// in place (putInPlace): a start that fails leaves an existing file as it
// was. A file it replaces keeps its mode and, as far as the user may, its
// owner and group: a private take stays private. Where the caller asks for
// a new file only (a remote client names it), an existing name is never
// replaced, not even by one made in the meantime. The file may be renamed or moved within its file system while it is
// recorded: the recording goes on, and the status says where it is at the
// end. Only a file that was deleted (no name left) ends the recording.
//
// The recording ends when the user stops it, when it reaches its length
// limit, when the input is opened in another format or on another device,
// when the device fails, and when the file cannot be written (a full disk, a
// file size limit, a removed drive) or is deleted. Whatever ended it, the
// writer writes what was queued, completes the header and closes the file, so
// the file is a valid WAV file holding every frame written. While it runs the
// header is brought up to date once a second, and every kSyncMs the data and
// the header are forced to the disk: a power cut loses at most the last
// kSyncMs of sound (and what was still queued).
//
// Nobody waits for the writer without a deadline: finish() gives up after
// its wait, leaving the writer everything it still needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "audio/RecordingTap.h"
#include "state/RecordFormat.h"

namespace varmolen {

enum class RecordingEnd {
    None,           // still recording
    Stopped,        // by the user (or the window closing)
    LimitReached,   // the length limit
    FormatChanged,  // the input was opened in another format or on another device
    DeviceFailed,   // the input device failed
    WriteFailed,    // the file could not be written (disk full, size limit, I/O error)
    FileVanished,   // the file was deleted (it or its folder removed) while recording
};

struct RecordingStatus {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0;
    std::uint64_t limitFrames = 0;
    std::uint64_t framesQueued = 0;   // frames the tap took from the capture thread
    std::uint64_t framesWritten = 0;  // frames in the file
    std::uint64_t framesDropped = 0;  // frames lost because the queue was full
    std::uint32_t overruns = 0;       // chunks that found the queue full
    std::uint32_t breaks = 0;         // restarts of the input within the recording
    std::uint32_t deviceBreaks = 0;   // sound the device lost (overruns, suspends)
    std::uint64_t framesLost = 0;     // the device's estimate of the frames lost in them
    std::uint64_t framesSilence = 0;  // silence standing for them in the file (bounded per break)
    bool silenceCut = false;          // a break was longer than the silence written for it
    std::size_t largestDepth = 0;     // most chunks ever waiting in the queue
    RecordingEnd end = RecordingEnd::None;
    std::string whyNot;     // what went wrong, for WriteFailed and FileVanished
    std::string where;      // where the file is at the end (it may have been moved)
    bool finished = false;  // the file is complete and closed
};

// The most frames a WAV file can describe in `channels` channels of the
// format (its sizes are 32-bit counts of bytes), with room for the header.
std::uint64_t maxWavFrames(std::uint16_t channels, RecordFormat format = RecordFormat::Pcm16);
// The frames of a recording limited to `minutes` at the rate, or fewer where
// the file could not describe that many (above 48000 Hz in stereo the
// longest limits of a 16-bit file would pass 4 GiB, above 24000 Hz those
// of a float file).
std::uint64_t recordLimitFrames(std::int32_t minutes, std::uint32_t rate, std::uint16_t channels, RecordFormat format);

class WavRecorder {
public:
    // How long finish() waits by default for the writer to close the file.
    static constexpr int kFinishWaitMs = 2000;
    // How often the writer looks at its queue, and brings the header up to date.
    static constexpr int kWriterPollMs = 100;
    static constexpr int kHeaderUpdateMs = 1000;
    // How often the writer forces the data and the header to the disk.
    static constexpr int kSyncMs = 5000;
    // The most silence written for one break in the device's sound.
    static constexpr int kMaxBreakSilenceSeconds = 60;

    // What may stand at the chosen name: a file the recording replaces, or
    // nothing at all (the recording then refuses to start, and to be put in
    // place, where any file, link or folder has that name).
    enum class Existing { Replace, Refuse };
    // The reason a recording with Existing::Refuse gives when the name is taken.
    static constexpr const char* kExistsReason = "exists";

    // Creates a new file beside `path` and starts the writer; the new file
    // then takes the place of `path`, at once or, with `deferPlacement`,
    // when putInPlace is called; written in `format`. On failure returns
    // nullptr and says why; no file is left behind and an existing file at
    // `path` is untouched. `limitFrames` is at most maxWavFrames.
    static std::unique_ptr<WavRecorder> start(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                                              std::uint64_t limitFrames, std::string& whyNot,
                                              bool deferPlacement = false, Existing existing = Existing::Replace,
                                              RecordFormat format = RecordFormat::Pcm16);
    // Puts the new file in the place of the chosen one, once the recording
    // has started (its tap attached). False, with the reason, when it cannot:
    // the caller then discards the recording.
    bool putInPlace(std::string& whyNot);
    // Ends a recording that was never put in place and removes its file.
    void discard();
    ~WavRecorder();
    WavRecorder(const WavRecorder&) = delete;
    WavRecorder& operator=(const WavRecorder&) = delete;

    // What the wave-input service hands the frames to.
    std::shared_ptr<RecordingTap> tap() const;
    const std::string& path() const { return path_; }
    RecordingStatus status() const;

    // Ends the recording unless it has ended on its own: the writer writes
    // what is queued, completes the header and closes the file. Waits at
    // most `waitMs` for that; true when the file was closed in time. Let the
    // tap go first (WaveInput::clearRecordingTap), so nothing arrives while
    // the writer empties the queue. `why`: the end the status reports.
    bool finish(int waitMs = kFinishWaitMs, RecordingEnd why = RecordingEnd::Stopped);

private:
    struct Shared;
    WavRecorder(std::shared_ptr<Shared> shared, std::string path, std::string tempPath, Existing existing);
    static void writerLoop(const std::shared_ptr<Shared>& s);

    std::shared_ptr<Shared> shared_;
    std::string path_;      // the file chosen
    std::string tempPath_;  // the new file beside it, until it is put in place
    Existing existing_;
    std::thread writer_;
};

}  // namespace varmolen
