// Makes the demo story's pictures and sounds: make_demo FOLDER writes
// 640 x 480 bitmaps drawn from gradients and shapes, and WAV files
// synthesised from tones and noise, into FOLDER. Everything is computed from
// fixed numbers, so every build makes the same files.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480;
constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  double r = 0, g = 0, b = 0;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A small fixed random source, so the stars and fireflies never move.
struct Random {
  uint32_t state;
  double Next() {
    state = state * 1664525u + 1013904223u;
    return double(state >> 8) / double(1u << 24);
  }
};

class Picture {
 public:
  Picture() : pixels_(size_t(kW) * kH) {}

  // A vertical gradient through the given colours.
  void Sky(std::initializer_list<Rgb> stops) {
    const std::vector<Rgb> s(stops);
    for (int y = 0; y < kH; ++y) {
      const double t = double(y) / (kH - 1) * double(s.size() - 1);
      const size_t i = std::min(size_t(t), s.size() - 2);
      for (int x = 0; x < kW; ++x) At(x, y) = Mix(s[i], s[i + 1], t - double(i));
    }
  }
  // Paints every pixel for which `inside` gives a coverage above 0.
  void Shape(Rgb colour, const std::function<double(double, double)>& inside) {
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const double cover = inside(x + 0.5, y + 0.5);
        if (cover > 0) At(x, y) = Mix(At(x, y), colour, cover);
      }
    }
  }
  void Disc(Rgb colour, double cx, double cy, double r, double glow = 0) {
    Shape(colour, [=](double x, double y) {
      const double d = std::hypot(x - cx, y - cy);
      if (d <= r) return 1.0;
      return glow > 0 ? std::max(0.0, 1 - (d - r) / glow) * 0.6 : 0.0;
    });
  }
  void Box(Rgb colour, double x0, double y0, double x1, double y1) {
    Shape(colour, [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1 ? 1.0 : 0.0; });
  }
  void Triangle(Rgb colour, double cx, double top, double half, double bottom) {
    Shape(colour, [=](double x, double y) {
      if (y < top || y > bottom) return 0.0;
      return std::abs(x - cx) <= half * (y - top) / (bottom - top) ? 1.0 : 0.0;
    });
  }
  // Darkens the top of the picture, where the page's white text goes.
  void ShadeForText() {
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < kW; ++x) At(x, y) = Mix(At(x, y), Rgb{0, 0, 0.05}, 0.45 * (1 - y / 200.0));
    }
  }

  bool Save(const std::string& path) const {
    const uint32_t rowBytes = kW * 3, dataBytes = rowBytes * kH;
    std::vector<uint8_t> file = {'B', 'M'};
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i))); };
    auto u16 = [&](uint32_t v) { for (int i = 0; i < 2; ++i) file.push_back(uint8_t(v >> (8 * i))); };
    u32(54 + dataBytes), u32(0), u32(54);
    u32(40), u32(kW), u32(kH), u16(1), u16(24), u32(0), u32(dataBytes), u32(2835), u32(2835), u32(0), u32(0);
    for (int y = kH - 1; y >= 0; --y) {  // bottom row first
      for (int x = 0; x < kW; ++x) {
        const Rgb& p = pixels_[size_t(y) * kW + size_t(x)];
        for (double c : {p.b, p.g, p.r}) file.push_back(uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255)));
      }
    }
    return Write(path, file);
  }

  static bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
  }

 private:
  Rgb& At(int x, int y) { return pixels_[size_t(y) * kW + size_t(x)]; }
  std::vector<Rgb> pixels_;
};

constexpr Rgb kNight{0.02, 0.03, 0.12}, kDusk{0.35, 0.12, 0.30}, kLantern{1.0, 0.55, 0.15};

Picture Title() {
  Picture p;
  p.Sky({kNight, {0.10, 0.06, 0.25}, {0.25, 0.10, 0.30}});
  Random r{7};
  for (int i = 0; i < 120; ++i) p.Disc({1, 1, 0.9}, r.Next() * kW, r.Next() * 300, 0.8 + r.Next());
  p.Disc({1, 0.95, 0.75}, 520, 90, 34, 30);
  // The storyteller's wooden box, its doors open on a dark stage where the
  // first choice list is shown.
  p.Box({0.35, 0.20, 0.08}, 220, 300, 420, 440);
  p.Box({0.06, 0.06, 0.16}, 236, 316, 404, 424);
  p.Box({0.30, 0.17, 0.06}, 170, 300, 220, 430);
  p.Box({0.30, 0.17, 0.06}, 420, 300, 470, 430);
  return p;
}

Picture Street() {
  Picture p;
  p.Sky({{0.10, 0.05, 0.20}, kDusk, {0.95, 0.50, 0.20}});
  p.ShadeForText();
  Random r{11};
  for (int x = 0; x < kW; x += 80) {
    const double top = 260 + r.Next() * 60;
    p.Box({0.08, 0.05, 0.10}, x, top, x + 78, kH);
    p.Triangle({0.08, 0.05, 0.10}, x + 39, top - 40, 52, top);
    for (int w = 0; w < 2; ++w) {
      if (r.Next() < 0.7) p.Box({1, 0.8, 0.4}, x + 14 + w * 32, top + 30, x + 32 + w * 32, top + 50);
    }
  }
  return p;
}

Picture River() {
  Picture p;
  p.Sky({kNight, {0.05, 0.15, 0.25}, {0.02, 0.10, 0.18}});
  p.ShadeForText();
  p.Shape({0.10, 0.30, 0.45}, [](double x, double y) {
    const double bank = 300 + 20 * std::sin(x / 90);
    if (y < bank) return 0.0;
    return 0.6 + 0.4 * std::sin(y / 3 + std::sin(x / 40) * 2);
  });
  for (int i = 0; i < 9; ++i) {
    const double x = 40 + i * 70, y = 340 + 30 * std::sin(i * 1.7);
    p.Disc(i == 4 ? Rgb{0.45, 0.40, 0.35} : kLantern, x, y, 9, i == 4 ? 0 : 14);
  }
  return p;
}

Picture Forest() {
  Picture p;
  p.Sky({{0.01, 0.06, 0.03}, {0.03, 0.18, 0.08}, {0.02, 0.10, 0.04}});
  p.ShadeForText();
  for (int i = 0; i < 8; ++i) {
    const double x = 30 + i * 85;
    p.Triangle({0.02, 0.22 + 0.03 * (i % 3), 0.08}, x, 150 + (i % 3) * 30, 60, 420);
    p.Box({0.15, 0.09, 0.04}, x - 8, 420, x + 8, kH);
  }
  Random r{23};
  for (int i = 0; i < 40; ++i) p.Disc({0.8, 1, 0.4}, r.Next() * kW, 200 + r.Next() * 260, 1.5, 5);
  return p;
}

Picture Festival() {
  Picture p;
  p.Sky({kNight, {0.12, 0.04, 0.12}, {0.25, 0.08, 0.10}});
  // A firework: rays from one point.
  p.Shape({1, 0.9, 0.5}, [](double x, double y) {
    const double dx = x - 470, dy = y - 110, d = std::hypot(dx, dy);
    if (d < 10 || d > 80) return 0.0;
    const double a = std::atan2(dy, dx) * 12 / kPi;
    return std::abs(a - std::round(a)) < 0.08 ? 1 - d / 90 : 0.0;
  });
  p.ShadeForText();
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < 11; ++i) {
      const double x = 30 + i * 58 + row * 29, y = 200 + row * 55 + 12 * std::sin(i * 0.8);
      p.Box({0.1, 0.1, 0.1}, x - 1, y - 30, x + 1, y - 12);
      p.Shape(row ? kLantern : Rgb{0.9, 0.15, 0.10}, [=](double px, double py) {
        const double ex = (px - x) / 13, ey = (py - y) / 17;
        return ex * ex + ey * ey <= 1 ? 1.0 : 0.0;
      });
    }
  }
  p.Box({0.05, 0.03, 0.05}, 0, 400, kW, kH);
  return p;
}

Picture Ending() {
  Picture p;
  p.Sky({{0.15, 0.15, 0.35}, {0.80, 0.55, 0.60}, {1.0, 0.85, 0.60}});
  p.ShadeForText();
  p.Disc({1, 0.9, 0.6}, 320, 400, 50, 40);
  for (int i = 0; i < 6; ++i) p.Box({0.35 - i * 0.03, 0.30 - i * 0.03, 0.30 - i * 0.03}, 160 - i * 25, 380 + i * 17, 480 + i * 25, 397 + i * 17);
  return p;
}

// Sound: 22.05 kHz, 16-bit, mono.
constexpr int kRate = 22050;

struct Sound {
  std::vector<double> samples;

  void Ensure(size_t n) {
    if (samples.size() < n) samples.resize(n, 0.0);
  }
  // A soft plucked note: a few harmonics under a quick attack and a long decay.
  void Note(double start, double seconds, double hz, double volume) {
    const size_t first = size_t(start * kRate), count = size_t(seconds * kRate);
    Ensure(first + count);
    for (size_t i = 0; i < count; ++i) {
      const double t = double(i) / kRate;
      const double envelope = std::min(1.0, t * 80) * std::exp(-t * 3.0 / seconds);
      const double wave = std::sin(2 * kPi * hz * t) + 0.3 * std::sin(4 * kPi * hz * t) + 0.1 * std::sin(6 * kPi * hz * t);
      samples[first + i] += volume * envelope * wave;
    }
  }
  void Noise(double start, double seconds, double volume, double decay, double smooth, uint32_t seed) {
    const size_t first = size_t(start * kRate), count = size_t(seconds * kRate);
    Ensure(first + count);
    Random r{seed};
    double low = 0;
    for (size_t i = 0; i < count; ++i) {
      low += (r.Next() * 2 - 1 - low) * smooth;
      samples[first + i] += volume * low * std::exp(-double(i) / kRate * decay);
    }
  }

  bool Save(const std::string& path) const {
    const uint32_t bytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> file;
    auto text = [&](const char* s) { file.insert(file.end(), s, s + 4); };
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i))); };
    auto u16 = [&](uint32_t v) { for (int i = 0; i < 2; ++i) file.push_back(uint8_t(v >> (8 * i))); };
    text("RIFF"), u32(36 + bytes), text("WAVE"), text("fmt "), u32(16), u16(1), u16(1), u32(kRate), u32(kRate * 2),
        u16(2), u16(16), text("data"), u32(bytes);
    for (double s : samples) u16(uint16_t(int16_t(std::lround(std::clamp(s, -1.0, 1.0) * 32000))));
    return Picture::Write(path, file);
  }
};

// A melody on the five-note scale of Japanese folk songs (miyako-bushi on E),
// one note a beat; 0 is a rest.
Sound Melody(const std::vector<int>& steps, double beat, double volume) {
  static const double kScale[] = {0, 329.63, 349.23, 440.00, 493.88, 523.25, 659.26, 698.46, 880.00};
  Sound s;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i] > 0) s.Note(double(i) * beat, beat * 2.5, kScale[steps[i]], volume);
  }
  s.Ensure(size_t(double(steps.size()) * beat * kRate));
  s.samples.resize(size_t(double(steps.size()) * beat * kRate));  // ends on the beat, so it loops in time
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo FOLDER\n");
    return 2;
  }
  const std::string out = argv[1];
  bool ok = Title().Save(out + "/title.bmp") && Street().Save(out + "/street.bmp") &&
            River().Save(out + "/river.bmp") && Forest().Save(out + "/forest.bmp") &&
            Festival().Save(out + "/lantern.bmp") && Ending().Save(out + "/ending.bmp");

  ok = ok && Melody({3, 0, 4, 5, 4, 0, 3, 2, 1, 0, 2, 3, 4, 0, 0, 0}, 0.5, 0.25).Save(out + "/theme.wav");
  ok = ok && Melody({5, 6, 5, 4, 3, 4, 5, 0, 6, 7, 6, 5, 4, 3, 4, 0}, 0.4, 0.22).Save(out + "/town.wav");
  Sound festival = Melody({6, 8, 6, 5, 6, 5, 4, 3, 4, 5, 6, 8, 7, 6, 5, 0}, 0.3, 0.2);
  for (int beat = 0; beat < 16; beat += 2) festival.Noise(beat * 0.3, 0.25, 0.5, 18, 0.15, uint32_t(beat + 1));
  ok = ok && festival.Save(out + "/festival.wav");

  Sound rain;
  rain.Noise(0, 3.0, 0.18, 0, 0.5, 5);
  ok = ok && rain.Save(out + "/rain.wav");
  Sound bell;
  for (double partial : {1.0, 2.76, 5.40}) bell.Note(0, 1.6, 1046.5 * partial, 0.25 / partial);
  ok = ok && bell.Save(out + "/bell.wav");
  Sound page;  // a sheet of paper turning
  page.Noise(0, 0.15, 0.6, 30, 0.6, 9);
  ok = ok && page.Save(out + "/Page.wav");

  if (!ok) {
    std::fprintf(stderr, "make_demo: cannot write into %s\n", out.c_str());
    return 1;
  }
  return 0;
}
