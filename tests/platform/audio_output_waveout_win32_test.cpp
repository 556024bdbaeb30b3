// waveOut as the sound device drives it: buffers are reported done in the
// device's own time, refilled and queued again from inside the report, and
// nothing is reported after a reset. The device is Wine's, on the private
// sound server ./build.sh windows-test starts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/audio_output.h"

namespace {

using namespace std::chrono_literals;

TEST(AudioOutputWaveOut, BuffersAreDoneInTheDevicesTimeAndNotAfterAReset) {
    auto& output = platform::SystemAudioOutput();
    constexpr uint32_t kFrames = 2205;  // 100 ms at 22050 Hz
    constexpr int kBuffers = 4, kRounds = 12;
    std::vector<std::vector<uint8_t>> blocks(kBuffers, std::vector<uint8_t>(kFrames * 2, 0));
    std::mutex lock;
    std::condition_variable changed;
    std::atomic<int> done = 0;
    size_t next = 0;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(output.Open({1, 22050, 16}, kFrames * 2, kBuffers, [&] {
        const int n = ++done;
        // The oldest buffer is the one done: queue it again.
        if (n + kBuffers <= kRounds) {
            const uint8_t* block = blocks[next].data();
            next = (next + 1) % kBuffers;
            EXPECT_TRUE(output.Write(block, kFrames * 2));
        }
        std::lock_guard guard(lock);
        changed.notify_all();
    })) << "no wave output (windows-test starts a private sound server)";
    EXPECT_TRUE(output.Connected());
    for (auto& block : blocks) ASSERT_TRUE(output.PrepareBuffer(block.data(), kFrames * 2));
    EXPECT_FALSE(output.PrepareBuffer(blocks[0].data(), kFrames * 2)) << "prepared already";
    for (auto& block : blocks) ASSERT_TRUE(output.Write(block.data(), kFrames * 2));
    EXPECT_FALSE(output.UnprepareBuffer(blocks[0].data())) << "still queued";
    {
        std::unique_lock guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, 60s, [&] { return done >= kRounds; })) << done << " done";
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // All but the last ring of buffers had to be played first.
    EXPECT_GE(elapsed, 700ms);

    // A reset drops what is queued without a report.
    ASSERT_TRUE(output.Write(blocks[0].data(), kFrames * 2));
    ASSERT_TRUE(output.Reset());
    const int afterReset = done;
    std::this_thread::sleep_for(300ms);  // longer than the buffer would play
    EXPECT_EQ(done, afterReset);
    EXPECT_TRUE(output.UnprepareBuffer(blocks[0].data()));
    EXPECT_TRUE(output.Close());
    EXPECT_FALSE(output.Close());
    EXPECT_FALSE(output.IsOpen());
}

}  // namespace
