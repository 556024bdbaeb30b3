#include "sounds.h"

#include "groups.h"
#include "image.h"
#include "rng.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace cg {

namespace {

constexpr double TwoPi = 6.28318530717958647692;

void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v & 255));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>((v >> (8 * i)) & 255));
}
void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}

// In-place radix-2 FFT; inverse without the 1/n.
void Fft(std::vector<std::complex<double>>& a, bool inverse) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        double ang = TwoPi / static_cast<double>(len) * (inverse ? 1 : -1);
        std::complex<double> wl(std::cos(ang), std::sin(ang));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1, 0);
            for (size_t k = 0; k < len / 2; ++k) {
                std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

// Noise that repeats exactly every n samples (n a power of two): random
// phases under a magnitude shape, back through the inverse transform.
std::vector<double> PeriodicNoise(size_t n, int rate, uint64_t seed, double (*shape)(double hz)) {
    Rng rng(seed);
    std::vector<std::complex<double>> spectrum(n);
    for (size_t k = 1; k < n / 2; ++k) {
        double hz = static_cast<double>(k) * rate / static_cast<double>(n);
        double mag = shape(hz);
        double ph = static_cast<double>(rng.Unit()) * TwoPi;
        spectrum[k] = std::polar(mag, ph);
        spectrum[n - k] = std::conj(spectrum[k]);
    }
    Fft(spectrum, true);
    std::vector<double> out(n);
    double peak = 1e-12;
    for (size_t i = 0; i < n; ++i) {
        out[i] = spectrum[i].real();
        peak = std::max(peak, std::fabs(out[i]));
    }
    for (double& v : out) v /= peak;
    return out;
}

// Remove the mean, scale the peak to -3 dBFS, add triangular dither of one
// step and round.
std::vector<int16_t> Finish(std::vector<double> x, uint64_t seed) {
    double mean = 0;
    for (double v : x) mean += v;
    mean /= static_cast<double>(x.size());
    double peak = 1e-12;
    for (double& v : x) {
        v -= mean;
        peak = std::max(peak, std::fabs(v));
    }
    const double gain = 0.7079457843841379 * 32767.0 / peak;
    Rng rng(seed);
    std::vector<int16_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        double d = static_cast<double>(rng.Unit()) - static_cast<double>(rng.Unit());
        double v = std::round(x[i] * gain + d);
        out[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
    }
    return out;
}

double Sin2(double cycles, double t, double phase) {
    double s = std::sin(3.14159265358979323846 * cycles * t + phase);
    return s * s;
}

}  // namespace

Bytes EncodeWav(const std::vector<int16_t>& samples, int rate) {
    const uint32_t dataSize = static_cast<uint32_t>(samples.size() * 2);
    Bytes b;
    b.reserve(44 + dataSize);
    PutTag(b, "RIFF");
    Put32(b, 36 + dataSize);
    PutTag(b, "WAVE");
    PutTag(b, "fmt ");
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, 1);  // mono
    Put32(b, static_cast<uint32_t>(rate));
    Put32(b, static_cast<uint32_t>(rate) * 2);
    Put16(b, 2);
    Put16(b, 16);
    PutTag(b, "data");
    Put32(b, dataSize);
    for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
    return b;
}

std::vector<float> BubbleSound(float radius, int rate) {
    const double r = radius;
    const double f0 = 3.26 / r;
    const double d = 0.13 / r + 0.0072 * std::pow(r, -1.5);
    const double sigma = 0.085 * d;  // the pitch rises as the bubble leaves the nozzle
    const double length = std::min(6.9 / d, 0.25);
    const size_t n = static_cast<size_t>(length * rate);
    const double fade = 0.001 * rate;
    std::vector<float> out(n);
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / rate;
        double phase = TwoPi * f0 * (t + sigma * t * t / 2);
        double env = std::exp(-d * t) * std::min(1.0, static_cast<double>(k) / fade);
        out[k] = static_cast<float>(env * std::sin(phase));
    }
    return out;
}

std::vector<int16_t> BubblesLoop() {
    const size_t n = static_cast<size_t>(20 * SoundRate);
    const double seconds = static_cast<double>(n) / SoundRate;
    std::vector<double> mix(n, 0.0);
    Rng rng(0xB0BB1E57ull);
    // Bursts: the rate swells between about 5 and 30 bubbles a second, in
    // whole cycles per loop so the last second leads into the first.
    auto rateAt = [&](double t) {
        double u = t / seconds;
        return 5.0 + 25.0 * (0.5 * Sin2(7, u, 0.3) + 0.3 * Sin2(3, u, 1.1) + 0.2 * Sin2(13, u, 2.0));
    };
    double t = 0;
    const double maxRate = 30;
    while (true) {
        t += -std::log(1.0 - static_cast<double>(rng.Unit())) / maxRate;
        if (t >= seconds) break;
        if (static_cast<double>(rng.Unit()) * maxRate > rateAt(t)) continue;
        // Radius 1 to 4 mm, evenly spread on a log scale.
        float radius = 0.001f * std::pow(4.0f, rng.Unit());
        float loud = std::pow(radius / 0.004f, 1.25f) * rng.Range(0.45f, 1.0f);
        std::vector<float> b = BubbleSound(radius, SoundRate);
        size_t start = static_cast<size_t>(t * SoundRate);
        for (size_t k = 0; k < b.size(); ++k) mix[(start + k) % n] += loud * b[k];
    }
    return Finish(std::move(mix), 0xD1D1ull);
}

std::vector<int16_t> WavesLoop() {
    const size_t n = size_t{1} << 19;  // about 23.8 s
    const double rate = SoundRate;
    // Deep surge: pink-ish noise rolled off above 600 Hz and below 40 Hz.
    auto surge = PeriodicNoise(n, SoundRate, 0x5E4Aull, [](double hz) {
        double hp = hz / (hz + 40), lp = 1 / (1 + std::pow(hz / 600, 4));
        return hp * hp * lp / std::sqrt(std::max(hz, 1.0));
    });
    // A softer wash higher up, for the moments a swell breaks.
    auto wash = PeriodicNoise(n, SoundRate, 0x3A54ull, [](double hz) {
        double hp = hz / (hz + 250), lp = 1 / (1 + std::pow(hz / 1800, 4));
        return hp * hp * lp;
    });
    // A two-pole low-pass whose cutoff sweeps between 300 and 800 Hz twice a
    // loop; run twice so its state at the end of the loop is the state the
    // start needs.
    std::vector<double> x(n);
    double lp1 = 0, lp2 = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < n; ++i) {
            double u = static_cast<double>(i) / static_cast<double>(n);
            double fc = 550 + 250 * std::sin(TwoPi * 2 * u + 0.7);
            double a = 1 - std::exp(-TwoPi * fc / rate);
            lp1 += a * (surge[i] - lp1);
            lp2 += a * (lp1 - lp2);
            if (pass == 1) x[i] = lp2;
        }
    // Swells of about 8 and 6 seconds (3 and 4 per loop).
    double lp = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < n; ++i) {
            double u = static_cast<double>(i) / static_cast<double>(n);
            double swell = 0.3 + 0.45 * Sin2(3, u, 0.4) + 0.25 * Sin2(4, u, 1.9);
            double w = wash[i] * std::pow(Sin2(3, u, 0.4 + 0.25), 3);
            lp += 0.2 * (w - lp);  // soften the wash a little
            if (pass == 1) x[i] = x[i] * swell * 2.2 + lp * 0.35;
        }
    return Finish(std::move(x), 0xD2D2ull);
}

void GenerateSounds(ContentSink& sink) {
    sink.Put("bubbles7.wav", EncodeWav(BubblesLoop(), SoundRate));
    sink.Put("waves04.wav", EncodeWav(WavesLoop(), SoundRate));
}

}  // namespace cg
