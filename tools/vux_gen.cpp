// vux_gen: writes a realistic VUX sensor-box data file for tests and benchmarks.
//
// The file has a free header, the marker line, a headings line and one row per
// sample of ten fields in the default configuration's column order: time (s),
// pressure, temperature and humidity as millivolt readings, three angular-rate
// and three acceleration channels as raw values. The slow channels follow a
// climb, cruise and descent profile over the file's duration; the vibration
// channels carry engine tones (fan and core with harmonics, drifting with
// throttle), broadband noise and slow drift.
//
// The output depends only on the options and the seed: the generator uses its
// own PRNG and its own sine/cosine, never the library's distributions.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------- options

struct GenOptions {
    double durationSeconds = 0.0;  // 0: not given
    double rateHz = 10000.0;
    uint64_t seed = 1;
    uint64_t sizeBytes = 0;        // 0: not given
    bool lfOnly = false;           // LF line ends instead of CR LF
    std::string outputPath;        // empty: standard output
    // --burst: a steady tone on every vibration channel from burstStart
    // (inclusive) to burstEnd (exclusive), in seconds; burstHz 0 = none.
    double burstHz = 0.0;
    double burstStart = 0.0;
    double burstEnd = 0.0;
    double burstAmplitude = 1.0;  // engineering units (deg/s, g)
};

constexpr double kDefaultDurationSeconds = 10.0;
constexpr double kBytesPerRowEstimate = 110.6;

const char* const kUsage =
    "usage: vux_gen [--duration SECONDS] [--rate HZ] [--seed N] [--size BYTES]\n"
    "               [--burst HZ,START,END[,AMPLITUDE]] [--lf] [-o PATH]\n"
    "  --duration SECONDS  length of the recording (default 10 s unless --size is given)\n"
    "  --rate HZ           sample rate (default 10000)\n"
    "  --seed N            seed of the deterministic generator (default 1)\n"
    "  --size BYTES        stop once the file reaches about this size; suffixes\n"
    "                      K, M, G (powers of 1000) and Ki, Mi, Gi (powers of 1024)\n"
    "  --burst HZ,START,END[,AMPLITUDE]\n"
    "                      a tone of HZ Hz on every vibration channel from START s\n"
    "                      to END s, AMPLITUDE in engineering units (default 1)\n"
    "  --lf                LF line ends instead of CR LF\n"
    "  -o PATH             output file (default: standard output)\n";

bool ParseDouble(std::string_view text, double& out) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, last, out);
    return ec == std::errc() && ptr == last && std::isfinite(out);
}

bool ParseUnsigned(std::string_view text, uint64_t& out) {
    if (text.empty()) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

// A byte count: digits (a fraction allowed) with an optional K/M/G (powers of
// 1000) or Ki/Mi/Gi (powers of 1024) suffix, a trailing B allowed.
bool ParseSize(std::string_view text, uint64_t& out) {
    size_t digits = 0;
    while (digits < text.size() && (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
        ++digits;
    double value = 0.0;
    if (!ParseDouble(text.substr(0, digits), value)) return false;
    std::string_view suffix = text.substr(digits);
    if (!suffix.empty() && (suffix.back() == 'B' || suffix.back() == 'b')) suffix.remove_suffix(1);
    double unit = 1.0;
    if (!suffix.empty()) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(suffix[0])));
        const bool binary = suffix.size() == 2 && (suffix[1] == 'i' || suffix[1] == 'I');
        if (suffix.size() > 2 || (suffix.size() == 2 && !binary)) return false;
        const double base = binary ? 1024.0 : 1000.0;
        if (letter == 'K') unit = base;
        else if (letter == 'M') unit = base * base;
        else if (letter == 'G') unit = base * base * base;
        else return false;
    }
    const double bytes = value * unit;
    if (!(bytes >= 1.0) || bytes > 1e18) return false;
    out = static_cast<uint64_t>(bytes);
    return true;
}

// "HZ,START,END[,AMPLITUDE]": HZ > 0, 0 <= START < END, AMPLITUDE > 0.
bool ParseBurst(std::string_view text, GenOptions& opts) {
    double values[4] = {0.0, 0.0, 0.0, 1.0};
    size_t count = 0;
    while (count < 4) {
        const size_t comma = text.find(',');
        if (!ParseDouble(text.substr(0, comma), values[count++])) return false;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (count == 4) return false;
    }
    if (count < 3 || !(values[0] > 0.0) || !(values[1] >= 0.0) || !(values[2] > values[1]) || !(values[3] > 0.0)) {
        return false;
    }
    opts.burstHz = values[0];
    opts.burstStart = values[1];
    opts.burstEnd = values[2];
    opts.burstAmplitude = values[3];
    return true;
}

// Fills `opts` from the command line. Returns 0 to go on, 1 after --help, or
// 2 after printing an error to stderr.
int ParseOptions(int argc, char** argv, GenOptions& opts) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        bool hasInlineValue = false;
        if (arg.starts_with("--")) {
            const size_t eq = arg.find('=');
            if (eq != std::string_view::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasInlineValue = true;
            }
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (arg == "--lf") {
            if (hasInlineValue) {
                std::fprintf(stderr, "vux_gen: --lf takes no value\n");
                return 2;
            }
            opts.lfOnly = true;
            continue;
        }
        const bool known = arg == "--duration" || arg == "--rate" || arg == "--seed" ||
                           arg == "--size" || arg == "--burst" || arg == "-o" || arg == "--output";
        if (!known) {
            std::fprintf(stderr, "vux_gen: unknown option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
        if (!hasInlineValue) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vux_gen: option '%s' needs a value\n", argv[i]);
                return 2;
            }
            value = argv[++i];
        }
        bool ok = true;
        if (arg == "--duration") {
            ok = ParseDouble(value, opts.durationSeconds) && opts.durationSeconds > 0.0;
        } else if (arg == "--rate") {
            ok = ParseDouble(value, opts.rateHz) && opts.rateHz >= 1.0 && opts.rateHz <= 1e7;
        } else if (arg == "--seed") {
            ok = ParseUnsigned(value, opts.seed);
        } else if (arg == "--size") {
            ok = ParseSize(value, opts.sizeBytes);
        } else if (arg == "--burst") {
            ok = ParseBurst(value, opts);
        } else {
            ok = !value.empty();
            opts.outputPath = std::string(value);
        }
        if (!ok) {
            std::fprintf(stderr, "vux_gen: invalid value '%.*s' for %.*s\n",
                         static_cast<int>(value.size()), value.data(),
                         static_cast<int>(arg.size()), arg.data());
            return 2;
        }
    }
    return 0;
}

// ---------------------------------------------------------------- random numbers

uint64_t SplitMix64(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// xoshiro256**, seeded through splitmix64.
struct Rng {
    uint64_t s[4];

    explicit Rng(uint64_t seed) {
        for (uint64_t& word : s) word = SplitMix64(seed);
    }

    static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    uint64_t Next() {
        const uint64_t result = Rotl(s[1] * 5, 7) * 9;
        const uint64_t t = s[1] << 17;
        s[2] ^= s[0];
        s[3] ^= s[1];
        s[1] ^= s[2];
        s[0] ^= s[3];
        s[2] ^= t;
        s[3] = Rotl(s[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

    // Approximately standard normal: the sum of four 16-bit uniforms, scaled to
    // unit variance (bounded at about +-3.5).
    double Gauss() {
        const uint64_t x = Next();
        const double sum = static_cast<double>((x & 0xFFFF) + ((x >> 16) & 0xFFFF) +
                                               ((x >> 32) & 0xFFFF) + (x >> 48));
        constexpr double kMean = 2.0 * 65535.0;
        constexpr double kScale = 1.0 / 37837.0;  // 65536 * sqrt(4 / 12)
        return (sum - kMean) * kScale;
    }
};

// ---------------------------------------------------------------- sine and cosine

constexpr double kPi = 3.14159265358979323846;

// sin and cos of `x` from a short Taylor series on x/8 and three angle
// doublings. This and Exp and Log below give the same bits on every machine
// and C library (only exactly rounded operations are used).
void SinCos(double x, double& s, double& c) {
    x = std::fmod(x, 2.0 * kPi);
    if (x > kPi) x -= 2.0 * kPi;
    if (x < -kPi) x += 2.0 * kPi;
    const double y = x / 8.0;
    const double y2 = y * y;
    double sinTerm = y, cosTerm = 1.0;
    double sinSum = y, cosSum = 1.0;
    for (int n = 1; n <= 10; ++n) {
        sinTerm *= -y2 / ((2.0 * n) * (2.0 * n + 1.0));
        cosTerm *= -y2 / ((2.0 * n - 1.0) * (2.0 * n));
        sinSum += sinTerm;
        cosSum += cosTerm;
    }
    for (int k = 0; k < 3; ++k) {
        const double s2 = 2.0 * sinSum * cosSum;
        const double c2 = cosSum * cosSum - sinSum * sinSum;
        sinSum = s2;
        cosSum = c2;
    }
    s = sinSum;
    c = cosSum;
}

// e^x: Taylor series on x / 2^k (|x / 2^k| <= 0.5), then k squarings.
double Exp(double x) {
    int halvings = 0;
    while (std::fabs(x) > 0.5 && halvings < 64) {
        x /= 2.0;
        ++halvings;
    }
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 20; ++n) {
        term *= x / n;
        sum += term;
    }
    while (halvings-- > 0) sum *= sum;
    return sum;
}

// Natural logarithm of x > 0: x = m * 2^e with m in [0.5, 1), and
// ln m = 2 atanh((m - 1) / (m + 1)) as a series.
double Log(double x) {
    int exponent = 0;
    const double m = std::frexp(x, &exponent);
    const double z = (m - 1.0) / (m + 1.0);
    const double z2 = z * z;
    double power = z, sum = 0.0;
    for (int n = 1; n <= 61; n += 2) {
        sum += power / n;
        power *= z2;
    }
    constexpr double kLn2 = 0.69314718055994530942;
    return exponent * kLn2 + 2.0 * sum;
}

// ---------------------------------------------------------------- number formatting

// Writes `value` rounded to `decimals` places (half away from zero) as plain
// fixed-point text with a leading '-' for negative results, and a leading '+'
// for the others when `plus` is set. |value| must stay below about 1e12.
char* WriteFixed(char* out, double value, int decimals, bool plus = false) {
    static constexpr double kPow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    static constexpr uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    const bool negative = value < 0.0;
    const double magnitude = (negative ? -value : value) * kPow10[decimals] + 0.5;
    const uint64_t scaled = static_cast<uint64_t>(magnitude);
    if (negative && scaled != 0) *out++ = '-';
    else if (plus) *out++ = '+';
    uint64_t whole = scaled / kPow10Int[decimals];
    uint64_t fraction = scaled % kPow10Int[decimals];
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    while (n > 0) *out++ = digits[--n];
    if (decimals > 0) {
        *out++ = '.';
        for (int i = decimals - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        out += decimals;
    }
    return out;
}

// ---------------------------------------------------------------- output

// Large buffered writes to a file descriptor; every write is checked.
struct Output {
    int fd = -1;
    std::string path;  // for messages ("standard output" for fd 1)
    std::vector<char> buffer;
    size_t used = 0;
    uint64_t written = 0;  // bytes handed to the file so far, plus `used`

    bool Flush() {
        size_t done = 0;
        while (done < used) {
            const ssize_t n = ::write(fd, buffer.data() + done, used - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                std::fprintf(stderr, "vux_gen: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
                return false;
            }
            done += static_cast<size_t>(n);
        }
        used = 0;
        return true;
    }

    // Room for at least `bytes` more bytes at Tail().
    bool Reserve(size_t bytes) { return buffer.size() - used >= bytes || Flush(); }
    char* Tail() { return buffer.data() + used; }
    void Commit(char* end) {
        const size_t n = static_cast<size_t>(end - Tail());
        used += n;
        written += n;
    }
};

// ---------------------------------------------------------------- flight profile

struct FlightPoint {
    double altitudeM = 0.0;
    double throttle = 0.25;   // target engine speed, fraction of maximum
    double pitchDeg = 0.0;
    double longAccelG = 0.0;  // along-track acceleration
};

constexpr double kCruiseAltitudeM = 10600.0;

double Smooth(double x) { return x * x * (3.0 - 2.0 * x); }

// Taxi, take-off roll, climb, cruise, descent, landing roll and taxi, as
// fractions `u` of the flight's duration (u beyond 1 stays on the ground).
FlightPoint ProfileAt(double u) {
    FlightPoint p;
    if (u < 0.04) {
        p.throttle = 0.25;
    } else if (u < 0.07) {
        p.throttle = 1.0;
        p.longAccelG = 0.28;
        p.pitchDeg = u > 0.065 ? 6.0 : 0.0;
    } else if (u < 0.30) {
        const double s = Smooth((u - 0.07) / 0.23);
        p.altitudeM = kCruiseAltitudeM * s;
        p.throttle = 0.95;
        p.pitchDeg = 2.0 + 7.0 * (1.0 - s);
        p.longAccelG = 0.05 * (1.0 - s);
    } else if (u < 0.72) {
        p.altitudeM = kCruiseAltitudeM;
        p.throttle = 0.82;
        p.pitchDeg = 2.2;
    } else if (u < 0.94) {
        const double s = Smooth((u - 0.72) / 0.22);
        p.altitudeM = kCruiseAltitudeM * (1.0 - s);
        p.throttle = 0.42;
        p.pitchDeg = -1.5 + 3.0 * s * s;
    } else if (u < 0.97) {
        p.throttle = 0.7;
        p.longAccelG = -0.3;
    } else {
        p.throttle = 0.25;
    }
    return p;
}

// Standard-atmosphere static pressure (psia) at `altitudeM` metres.
double PressurePsia(double altitudeM) {
    return 14.696 * Exp(5.25588 * Log(1.0 - 2.25577e-5 * altitudeM));
}

// ---------------------------------------------------------------- sensor inverses

constexpr double kAdcOffset = 2500.0;

// Millivolt reading that the default equations turn into `psia`.
double PressureMv(double psia) { return psia * 4500.0 / 17.4 - kAdcOffset + 500.0; }

// Millivolt reading that the default equations turn into `celsius`.
double TemperatureMv(double celsius) {
    const double ohms = 1000.0 + 3.75 * celsius;
    return 5000.0 * ohms / (4000.0 + ohms) - kAdcOffset;
}

// Millivolt reading that the default equations turn into `percent` relative
// humidity at `celsius`.
double HumidityMv(double percent, double celsius) {
    const double sensorRh = percent * (1.0546 - 0.00216 * celsius);
    return (sensorRh * 0.0062 + 0.16) * 5000.0 - kAdcOffset;
}

// ---------------------------------------------------------------- signal model

// A slow random wander of unit size (Ornstein-Uhlenbeck), stepped once per block.
struct Wander {
    double value = 0.0;
    double keep = 1.0;   // decay per step
    double kick = 0.0;   // noise per step

    void Setup(double stepSeconds, double timeConstantSeconds, Rng& rng) {
        keep = Exp(-stepSeconds / timeConstantSeconds);
        kick = std::sqrt(1.0 - keep * keep);
        value = rng.Gauss();
    }
    double Step(Rng& rng) {
        value = value * keep + kick * rng.Gauss();
        return value;
    }
};

constexpr int kChannels = 6;  // gyro X Y Z, accelerometer X Y Z
constexpr int kTones = 6;     // fan 1x 2x, core 1x 2x 3x 4x

// Raw units per engineering unit: the default configuration's division factors.
constexpr double kDivision[kChannels] = {1.23, 1.25, 1.27, 108.4, 100.4, 104.3};

// Zero-rate and zero-g offsets of the raw channels (the accelerometer offsets
// include the small tilt of the box in its mount).
constexpr double kRawBias[kChannels] = {14.62, -13.87, 12.41, 12.6, -15.3, 0.9};

// Tone amplitudes at full throttle, in engineering units (deg/s, g).
constexpr double kToneAmplitude[kChannels][kTones] = {
    {0.85, 0.20, 0.40, 0.16, 0.07, 0.03},
    {0.55, 0.14, 0.70, 0.22, 0.10, 0.05},
    {0.35, 0.09, 0.25, 0.12, 0.06, 0.02},
    {0.11, 0.030, 0.18, 0.070, 0.040, 0.020},
    {0.17, 0.040, 0.14, 0.060, 0.030, 0.016},
    {0.26, 0.060, 0.32, 0.100, 0.050, 0.024},
};

// Broadband noise (standard deviation, engineering units) at full throttle.
constexpr double kNoise[kChannels] = {0.12, 0.10, 0.08, 0.040, 0.050, 0.060};

// Slow drift size, engineering units.
constexpr double kDrift[kChannels] = {0.05, 0.05, 0.04, 0.004, 0.004, 0.006};

// Fan and core tone frequencies (Hz) at engine speed `n` (fraction of maximum).
double FanHz(double n) { return 95.0 * (0.55 + 0.45 * n / 0.85); }
double CoreHz(double n) { return 230.0 * (0.70 + 0.30 * n / 0.85); }

struct Generator {
    GenOptions opts;
    Rng rng;
    double profileSeconds = 0.0;
    double blockSeconds = 0.0;

    double engineSpeed = 0.25;
    double spoolKeep = 1.0;

    // Tone phasors (unit complex numbers) and their per-sample rotations.
    double toneRe[kTones], toneIm[kTones];
    double stepRe[kTones], stepIm[kTones];
    // Per-channel tone weights as complex numbers (amplitude, phase) in raw units.
    double phaseRe[kChannels][kTones], phaseIm[kChannels][kTones];
    double amplitudeScale[kChannels][kTones];
    double weightRe[kChannels][kTones], weightIm[kChannels][kTones];

    Wander fanDrift, coreDrift;
    Wander channelDrift[kChannels];
    Wander pressureWeather, temperatureWeather, humidityWeather;

    // Slow values at the start of the current block and their per-sample steps.
    double slow[3] = {0, 0, 0}, slowStep[3] = {0, 0, 0};
    double base[kChannels] = {}, baseStep[kChannels] = {};
    double noiseRaw[kChannels] = {};

    explicit Generator(const GenOptions& o) : opts(o), rng(o.seed) {}

    void Setup(uint64_t headerBytes) {
        if (opts.durationSeconds > 0.0) {
            profileSeconds = opts.durationSeconds;
        } else {
            const double bytes = static_cast<double>(opts.sizeBytes) - static_cast<double>(headerBytes);
            profileSeconds = std::max(bytes, kBytesPerRowEstimate) / kBytesPerRowEstimate / opts.rateHz;
        }
        blockSeconds = kBlock / opts.rateHz;
        spoolKeep = Exp(-blockSeconds / 4.0);
        for (int k = 0; k < kTones; ++k) {
            SinCos(2.0 * kPi * rng.Uniform(), toneIm[k], toneRe[k]);
            stepRe[k] = 1.0;
            stepIm[k] = 0.0;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            for (int k = 0; k < kTones; ++k) {
                SinCos(2.0 * kPi * rng.Uniform(), phaseIm[ch][k], phaseRe[ch][k]);
                amplitudeScale[ch][k] = kToneAmplitude[ch][k] * kDivision[ch] * (0.8 + 0.4 * rng.Uniform());
            }
            channelDrift[ch].Setup(blockSeconds, 20.0, rng);
        }
        fanDrift.Setup(blockSeconds, 5.0, rng);
        coreDrift.Setup(blockSeconds, 7.0, rng);
        pressureWeather.Setup(blockSeconds, 120.0, rng);
        temperatureWeather.Setup(blockSeconds, 60.0, rng);
        humidityWeather.Setup(blockSeconds, 30.0, rng);
        engineSpeed = ProfileAt(0.0).throttle;
        SlowValuesAt(0.0, slow);
        BaseValuesAt(ProfileAt(0.0), base);
    }

    static constexpr int kBlock = 256;

    // Pressure, temperature and humidity readings (mV) at time `t`.
    void SlowValuesAt(double t, double out[3]) const {
        const FlightPoint p = ProfileAt(t / profileSeconds);
        const double psia = PressurePsia(p.altitudeM) + 0.02 * pressureWeather.value;
        const double celsius = 15.0 - 6.2e-3 * p.altitudeM + 0.8 * temperatureWeather.value;
        const double dryness = 1.0 - p.altitudeM / kCruiseAltitudeM;
        double percent = 8.0 + 50.0 * dryness * dryness + 3.0 * humidityWeather.value;
        percent = std::min(98.0, std::max(2.0, percent));
        out[0] = PressureMv(psia);
        out[1] = TemperatureMv(celsius);
        out[2] = HumidityMv(percent, celsius);
    }

    // Raw channel offsets (bias, drift, gravity and manoeuvre) for `p`.
    void BaseValuesAt(const FlightPoint& p, double out[kChannels]) const {
        double sinPitch, cosPitch;
        SinCos(p.pitchDeg * kPi / 180.0, sinPitch, cosPitch);
        const double gravity[kChannels] = {0.0, 0.0, 0.0, sinPitch + p.longAccelG, 0.0, -cosPitch};
        for (int ch = 0; ch < kChannels; ++ch)
            out[ch] = kRawBias[ch] + (gravity[ch] + kDrift[ch] * channelDrift[ch].value) * kDivision[ch];
    }

    // Advances the slow state to the block starting at sample `first` and sets
    // the per-sample steps that carry it to the next block.
    void StartBlock(uint64_t first) {
        const double tEnd = static_cast<double>(first + kBlock) / opts.rateHz;
        const FlightPoint target = ProfileAt(tEnd / profileSeconds);
        engineSpeed = target.throttle + (engineSpeed - target.throttle) * spoolKeep;

        fanDrift.Step(rng);
        coreDrift.Step(rng);
        pressureWeather.Step(rng);
        temperatureWeather.Step(rng);
        humidityWeather.Step(rng);
        for (Wander& w : channelDrift) w.Step(rng);

        double slowEnd[3];
        SlowValuesAt(tEnd, slowEnd);
        for (int i = 0; i < 3; ++i) slowStep[i] = (slowEnd[i] - slow[i]) / kBlock;
        double baseEnd[kChannels];
        BaseValuesAt(target, baseEnd);
        for (int ch = 0; ch < kChannels; ++ch) baseStep[ch] = (baseEnd[ch] - base[ch]) / kBlock;

        const double fan = FanHz(engineSpeed) * (1.0 + 0.003 * fanDrift.value);
        const double core = CoreHz(engineSpeed) * (1.0 + 0.003 * coreDrift.value);
        const double freq[kTones] = {fan, 2.0 * fan, core, 2.0 * core, 3.0 * core, 4.0 * core};
        for (int k = 0; k < kTones; ++k) {
            SinCos(2.0 * kPi * freq[k] / opts.rateHz, stepIm[k], stepRe[k]);
            // Keep the phasor on the unit circle despite rounding.
            const double norm = 1.5 - 0.5 * (toneRe[k] * toneRe[k] + toneIm[k] * toneIm[k]);
            toneRe[k] *= norm;
            toneIm[k] *= norm;
        }
        const double loudness = 0.3 + 0.7 * engineSpeed * engineSpeed;
        for (int ch = 0; ch < kChannels; ++ch) {
            for (int k = 0; k < kTones; ++k) {
                const double a = amplitudeScale[ch][k] * loudness;
                weightRe[ch][k] = a * phaseRe[ch][k];
                weightIm[ch][k] = a * phaseIm[ch][k];
            }
            noiseRaw[ch] = kNoise[ch] * kDivision[ch] * (0.5 + 0.5 * engineSpeed);
        }
    }

    // Formats sample `index` into `out` (line end included); returns the end.
    char* WriteRow(char* out, uint64_t index) {
        out = WriteFixed(out, static_cast<double>(index) / opts.rateHz, 5);
        for (int i = 0; i < 3; ++i) {
            *out++ = ',';
            out = WriteFixed(out, slow[i] + 0.45 * rng.Gauss(), 4);
            slow[i] += slowStep[i];
        }
        for (int k = 0; k < kTones; ++k) {
            const double re = toneRe[k] * stepRe[k] - toneIm[k] * stepIm[k];
            const double im = toneRe[k] * stepIm[k] + toneIm[k] * stepRe[k];
            toneRe[k] = re;
            toneIm[k] = im;
        }
        // The burst's sine at this sample (its phase from the sample index, so
        // it is the same tone wherever it starts), when the burst is on.
        double burst = 0.0;
        const double t = static_cast<double>(index) / opts.rateHz;
        if (opts.burstHz > 0.0 && t >= opts.burstStart && t < opts.burstEnd) {
            const double cycles = opts.burstHz * static_cast<double>(index) / opts.rateHz;
            double cosine;
            SinCos(2.0 * kPi * (cycles - std::floor(cycles)), burst, cosine);
            burst *= opts.burstAmplitude;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            double v = base[ch] + noiseRaw[ch] * rng.Gauss();
            if (burst != 0.0) v += burst * kDivision[ch];
            for (int k = 0; k < kTones; ++k) v += weightRe[ch][k] * toneRe[k] - weightIm[ch][k] * toneIm[k];
            base[ch] += baseStep[ch];
            *out++ = ',';
            out = WriteFixed(out, v, 6, true);
        }
        if (!opts.lfOnly) *out++ = '\r';
        *out++ = '\n';
        return out;
    }
};

std::string HeaderText(const GenOptions& opts) {
    const char* eol = opts.lfOnly ? "\n" : "\r\n";
    char rate[64];
    char* end = WriteFixed(rate, opts.rateHz, 3);
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
    std::string text;
    text += "VUX-2 sensor box export";
    text += eol;
    text += "Flight,SIM-" + std::to_string(opts.seed) + ",climb cruise descent";
    text += eol;
    text += "Operator: vux_gen,,,";
    text += eol;
    text += "Sample rate (Hz)," + std::string(rate, end);
    text += eol;
    text += eol;
    text += "Data Starts Here,,,,,,,,,,,,,,,,,,,";
    text += eol;
    text += "Time (s),Pressure (mV),Temp (mV),Humidity (mV),Gyro X,Gyro Y,Gyro Z,Acc X,Acc Y,Acc Z,";
    text += eol;
    return text;
}

int Generate(const GenOptions& opts) {
    Output out;
    if (opts.outputPath.empty()) {
        out.fd = STDOUT_FILENO;
        out.path = "standard output";
    } else {
        out.path = opts.outputPath;
        out.fd = ::open(out.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out.fd < 0) {
            std::fprintf(stderr, "vux_gen: cannot create %s: %s\n", out.path.c_str(), std::strerror(errno));
            return 1;
        }
    }
    out.buffer.resize(size_t{4} << 20);

    const std::string header = HeaderText(opts);
    const bool sizeGiven = opts.sizeBytes > 0;
    const bool durationGiven = opts.durationSeconds > 0.0;
    const double duration = (durationGiven || sizeGiven) ? opts.durationSeconds : kDefaultDurationSeconds;
    const uint64_t rowLimit = duration > 0.0 ? static_cast<uint64_t>(std::llround(duration * opts.rateHz))
                                             : UINT64_MAX;

    GenOptions effective = opts;
    effective.durationSeconds = duration;
    Generator gen(effective);
    gen.Setup(header.size());

    bool ok = out.Reserve(header.size());
    if (ok) {
        std::memcpy(out.Tail(), header.data(), header.size());
        out.Commit(out.Tail() + header.size());
    }
    constexpr size_t kMaxRowBytes = 512;
    uint64_t index = 0;
    while (ok && index < rowLimit && !(sizeGiven && out.written >= opts.sizeBytes)) {
        if (index % Generator::kBlock == 0) gen.StartBlock(index);
        if (!out.Reserve(kMaxRowBytes)) {
            ok = false;
            break;
        }
        out.Commit(gen.WriteRow(out.Tail(), index));
        ++index;
    }
    ok = ok && out.Flush();
    if (!opts.outputPath.empty() && ::close(out.fd) != 0 && ok) {
        std::fprintf(stderr, "vux_gen: cannot close %s: %s\n", out.path.c_str(), std::strerror(errno));
        ok = false;
    }
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    GenOptions opts;
    const int parsed = ParseOptions(argc, argv, opts);
    if (parsed == 1) return 0;
    if (parsed != 0) return 2;
    return Generate(opts);
}
