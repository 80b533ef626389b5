// Writes the program's notification sounds as 16-bit mono PCM WAV files, so
// the project ships sounds of its own making.
//   makewav online OUT.wav   two rising soft chimes
//   makewav message OUT.wav  a short two-tone ding
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

struct TNote {
    double Start, Length, Frequency, Volume;
};

std::vector<int16_t> Render(const std::vector<TNote>& notes, double seconds) {
    std::vector<double> mix(static_cast<size_t>(seconds * kRate), 0.0);
    for (const TNote& n : notes) {
        const size_t first = static_cast<size_t>(n.Start * kRate);
        const size_t count = static_cast<size_t>(n.Length * kRate);
        for (size_t i = 0; i < count && first + i < mix.size(); ++i) {
            const double t = double(i) / kRate;
            const double attack = std::min(1.0, t / 0.008);
            const double decay = std::exp(-t * 6.0 / n.Length);
            // A bell-like tone: the fundamental and a quieter octave.
            const double wave = std::sin(2 * kPi * n.Frequency * t) + 0.3 * std::sin(4 * kPi * n.Frequency * t);
            mix[first + i] += n.Volume * attack * decay * wave;
        }
    }
    std::vector<int16_t> samples(mix.size());
    for (size_t i = 0; i < mix.size(); ++i)
        samples[i] = static_cast<int16_t>(std::lround(std::clamp(mix[i], -1.0, 1.0) * 32000));
    return samples;
}

void Put32(std::ofstream& f, uint32_t v) {
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    f.write(reinterpret_cast<const char*>(b), 4);
}
void Put16(std::ofstream& f, uint16_t v) {
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    f.write(reinterpret_cast<const char*>(b), 2);
}

bool WriteWav(const char* path, const std::vector<int16_t>& samples) {
    std::ofstream f(path, std::ios::binary);
    if (!f) return false;
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    f.write("RIFF", 4);
    Put32(f, 36 + dataBytes);
    f.write("WAVEfmt ", 8);
    Put32(f, 16);
    Put16(f, 1); // PCM
    Put16(f, 1); // mono
    Put32(f, kRate);
    Put32(f, kRate * 2);
    Put16(f, 2);
    Put16(f, 16);
    f.write("data", 4);
    Put32(f, dataBytes);
    for (int16_t s : samples) Put16(f, uint16_t(s));
    return bool(f);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: makewav online|message OUT.wav\n");
        return 2;
    }
    std::vector<int16_t> samples;
    if (std::strcmp(argv[1], "online") == 0)
        samples = Render({{0.0, 0.35, 659.25, 0.35}, {0.12, 0.5, 987.77, 0.35}}, 0.7);
    else if (std::strcmp(argv[1], "message") == 0)
        samples = Render({{0.0, 0.25, 1046.5, 0.4}, {0.09, 0.35, 783.99, 0.3}}, 0.5);
    else {
        std::fprintf(stderr, "makewav: unknown sound %s\n", argv[1]);
        return 2;
    }
    if (!WriteWav(argv[2], samples)) {
        std::fprintf(stderr, "makewav: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
