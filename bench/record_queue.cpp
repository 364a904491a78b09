// record_queue [seconds] [folder] [cycles]: a WAV recording of the built-in
// generator at 44100 Hz stereo through the capture thread's tap, as the
// window makes it, for `seconds` (default 600) into a file in `folder`
// (default /tmp), while both recording buffers are queued and handed back the
// way the run loop does. Prints, every minute and at the end, the largest
// queue depth between capture thread and writer (in chunks of 20 ms, out of
// 256), overruns, and the frames queued and written.
//
// Then what recording costs: `cycles` (default 12) pairs of 10-second
// windows, one of acquisition alone and one with a recording started at its
// beginning and finished at its end, alternating so that the rest of a shared
// machine weighs on both alike. Prints the median CPU share of one core of
// each kind of window and their difference.
// A plain program, not a test: it runs in real time.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/GeneratorWaveInput.h"
#include "audio/RecordingQueue.h"
#include "persist/WavRecorder.h"

using namespace varmolen;
using clock_type = std::chrono::steady_clock;

namespace {

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Acquisition as the run loop drives it: two buffers of 2048 frames, each
// queued again as soon as the device hands it back.
struct Acquisition {
    GeneratorWaveInput input;
    HWAVEIN handle = 0;
    std::vector<std::uint8_t> a = std::vector<std::uint8_t>(8192), b = std::vector<std::uint8_t>(8192);
    WAVEHDR ha, hb;

    void arm(WAVEHDR& h, std::vector<std::uint8_t>& data)
    {
        h.lpData = data.data();
        h.dwBufferLength = static_cast<std::uint32_t>(data.size());
        h.dwFlags = 0;
        input.waveInPrepareHeader(handle, &h, sizeof h);
        input.waveInAddBuffer(handle, &h, sizeof h);
    }
    bool open(const WAVEFORMATEX& f)
    {
        if (input.waveInOpen(&handle, 0, &f, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
            return false;
        arm(ha, a);
        arm(hb, b);
        return input.waveInStart(handle) == MMSYSERR_NOERROR;
    }
    // Requeues whatever came back; call every few milliseconds.
    void serve()
    {
        for (auto [h, d] : {std::pair{&ha, &a}, std::pair{&hb, &b}})
            if (h->dwFlags.load(std::memory_order_acquire) & WHDR_DONE) {
                input.waveInUnprepareHeader(handle, h, sizeof *h);
                arm(*h, *d);
            }
    }
    void close()
    {
        input.waveInReset(handle);
        input.waveInUnprepareHeader(handle, &ha, sizeof ha);
        input.waveInUnprepareHeader(handle, &hb, sizeof hb);
        input.waveInClose(handle);
    }
};

void runFor(Acquisition& acq, double seconds, const std::function<void(double)>& everySecond = {})
{
    const auto start = clock_type::now();
    auto nextSecond = start + std::chrono::seconds(1);
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        acq.serve();
        const auto now = clock_type::now();
        if (now >= nextSecond) {
            nextSecond += std::chrono::seconds(1);
            if (everySecond)
                everySecond(std::chrono::duration<double>(now - start).count());
        }
        if (std::chrono::duration<double>(now - start).count() >= seconds)
            return;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    const int cycles = argc > 3 ? std::atoi(argv[3]) : 12;
    constexpr double kWindow = 10.0;
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 44100 * 4;
    f.wBitsPerSample = 16;

    Acquisition acq;
    if (!acq.open(f)) {
        std::fprintf(stderr, "the generator did not open\n");
        return 1;
    }
    runFor(acq, 2.0);

    // 1. One long recording: the queue's depth.
    const std::string path = folder + "/varmolen-record-queue.wav";
    std::string whyNot;
    auto recorder = WavRecorder::start(path, 44100, 2, 44100ull * 60 * 360, whyNot);
    if (!recorder) {
        std::fprintf(stderr, "cannot record to %s: %s\n", path.c_str(), whyNot.c_str());
        return 1;
    }
    if (!acq.input.setRecordingTap(recorder->tap(), 0, f)) {
        std::fprintf(stderr, "the tap was refused\n");
        return 1;
    }
    std::vector<std::size_t> depths;  // sampled once a second
    runFor(acq, seconds, [&](double t) {
        const RecordingStatus st = recorder->status();
        // Chunks queued but not yet written, seen from here once a second.
        depths.push_back(static_cast<std::size_t>((st.framesQueued - st.framesWritten) / 882));
        if (static_cast<long>(t) % 60 == 0)
            std::printf("%5.0f s: largest depth %zu chunks, overruns %u, written %.1f s\n", t, st.largestDepth,
                        st.overruns, st.framesWritten / 44100.0);
        std::fflush(stdout);
    });
    acq.input.clearRecordingTap();
    const bool closed = recorder->finish();
    const RecordingStatus st = recorder->status();

    std::sort(depths.begin(), depths.end());
    const std::size_t median = depths.empty() ? 0 : depths[depths.size() / 2];
    std::printf("recorded %.0f s into %s (%s)\n", seconds, path.c_str(), closed ? "closed" : "NOT closed in time");
    std::printf("frames queued %llu, written %llu, dropped %llu, overruns %u, breaks %u\n",
                static_cast<unsigned long long>(st.framesQueued), static_cast<unsigned long long>(st.framesWritten),
                static_cast<unsigned long long>(st.framesDropped), st.overruns, st.breaks);
    std::printf("queue depth: largest %zu of %zu chunks (%.0f ms of sound); median of once-a-second looks %zu\n",
                st.largestDepth, RecordingQueue::kChunks, st.largestDepth * 20.0, median);
    std::remove(path.c_str());

    // 2. Windows without and with a recording, alternating.
    std::vector<double> alone, recording;
    for (int i = 0; i < cycles; ++i) {
        double cpu0 = processCpuSeconds();
        runFor(acq, kWindow);
        alone.push_back(100 * (processCpuSeconds() - cpu0) / kWindow);
        cpu0 = processCpuSeconds();
        auto r = WavRecorder::start(path, 44100, 2, 44100ull * 60 * 60, whyNot);
        if (!r || !acq.input.setRecordingTap(r->tap(), 0, f)) {
            std::fprintf(stderr, "cannot record to %s: %s\n", path.c_str(), whyNot.c_str());
            return 1;
        }
        runFor(acq, kWindow);
        acq.input.clearRecordingTap();
        r->finish();
        recording.push_back(100 * (processCpuSeconds() - cpu0) / kWindow);
    }
    acq.close();
    std::remove(path.c_str());
    if (cycles > 0) {
        std::sort(alone.begin(), alone.end());
        std::sort(recording.begin(), recording.end());
        const double a = alone[alone.size() / 2], r = recording[recording.size() / 2];
        std::printf(
            "CPU, %% of one core, median of %d windows of %.0f s each: acquisition alone %.3f %%, "
            "with a recording %.3f %%, difference %.3f %%\n",
            cycles, kWindow, a, r, r - a);
    }
    return st.overruns == 0 && closed ? 0 : 1;
}
