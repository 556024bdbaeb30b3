// The two ambient loops, "bubbles7.wav" and "waves04.wav": mono 16-bit PCM
// at 22050 Hz that repeat without a seam, and the WAVE writer for them.
#pragma once

#include "content.h"

#include <cstdint>
#include <vector>

namespace cg {

constexpr int SoundRate = 22050;

// RIFF/WAVE with a 16-byte PCM format chunk, one channel, 16 bits.
Bytes EncodeWav(const std::vector<int16_t>& samples, int rate);

// One bubble of radius r metres: a decaying chirp that starts at its
// resonance 3.26 / r Hz and rises as the bubble settles.
std::vector<float> BubbleSound(float radius, int rate);

// The loops, sample k following sample k - 1 and the first following the last.
std::vector<int16_t> BubblesLoop();
std::vector<int16_t> WavesLoop();

}  // namespace cg
