#pragma once
// The data-field number parser, inline in the row loop that parses every
// stored field. Deliberately not strtod: it computes exactly the doubles of
// its digit-by-digit steps, bit for bit:
//   value = value * 10 + digit        for each integer digit (from 0.0)
//   value += digit / d                for each fraction digit, d = 10, 100, ...
//                                     (d multiplied by 10 after each digit)
//   scale = 1e50^a * 1e8^b * 10^c     for the exponent E = 50a + 8b + c
//   result = (value * scale) * sign   or (value / scale) * sign for E < 0
// Blanks and tabs are skipped first, then an optional sign, digits, an
// optional '.' and digits, an optional e/E with optional sign and digits
// (exponent capped at 308); the first character that does not fit (a comma,
// CR, LF or NUL among them) stops it. It never fails: no digits gives 0 (-0
// for a lone '-').

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace vux {
namespace parse_detail {

// Fraction digits with a precomputed term: fraction[10 k + digit] is exactly
// digit / d where d is 10 multiplied by 10 k times, the same sequence of
// multiplications the digit-by-digit parse performs.
constexpr int kFractionDigits = 24;
constexpr int kMaxExponent = 308;

struct Tables {
    std::array<double, 10 * kFractionDigits> fraction{};
    double divisorAfterTable = 0.0;  // d for the first digit beyond the table
    std::array<double, kMaxExponent + 1> scale{};
};

constexpr Tables MakeTables() {
    Tables t;
    double d = 10.0;
    for (int k = 0; k < kFractionDigits; ++k) {
        for (int digit = 0; digit < 10; ++digit) t.fraction[10 * k + digit] = static_cast<double>(digit) / d;
        d = d * 10.0;
    }
    t.divisorAfterTable = d;
    for (int e = 0; e <= kMaxExponent; ++e) {
        int rest = e;
        double s = 1.0;
        while (rest >= 50) { s = s * 1e50; rest -= 50; }
        while (rest >= 8) { s = s * 1e8; rest -= 8; }
        while (rest > 0) { s = s * 10.0; rest -= 1; }
        t.scale[e] = s;
    }
    return t;
}

inline constinit const Tables kTables = MakeTables();

// While the integer part stays below this, value * 10 + digit stays below
// 2^53, so integer arithmetic gives exactly the doubles of the step-by-step
// form.
constexpr uint64_t kExactIntegerLimit = (uint64_t{1} << 53) / 10;

inline unsigned DigitOf(char c) { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); }

// Parses the number at `p` and sets `*stop` to the first character not
// taken into it. Bounded: stop at `end` as if a NUL stood there; otherwise
// the text must be followed, somewhere, by a character that no number
// contains (LF, comma, NUL...), and no bound is checked.
template <bool Bounded>
[[gnu::always_inline]] inline double Parse(const char* p, const char* end, const char** stop) {
    auto at = [&](const char* q) -> char {
        if constexpr (Bounded) return q < end ? *q : '\0';
        else return *q;
    };

    if (at(p) <= ' ') {
        while (at(p) == ' ' || at(p) == '\t') ++p;
    }

    double sign = 1.0;
    if (at(p) == '-') {
        sign = -1.0;
        ++p;
    } else if (at(p) == '+') {
        ++p;
    }

    uint64_t whole = 0;
    unsigned digit;
    while ((digit = DigitOf(at(p))) < 10 && whole < kExactIntegerLimit) {
        whole = whole * 10 + digit;
        ++p;
    }
    double value = static_cast<double>(whole);
    while ((digit = DigitOf(at(p))) < 10) {
        value = value * 10.0 + static_cast<double>(digit);
        ++p;
    }

    if (at(p) == '.') {
        ++p;
        const double* row = kTables.fraction.data();
        const double* const rowsEnd = row + kTables.fraction.size();
        while ((digit = DigitOf(at(p))) < 10 && row != rowsEnd) {
            value += row[digit];
            row += 10;
            ++p;
        }
        double d = kTables.divisorAfterTable;
        while ((digit = DigitOf(at(p))) < 10) {
            value += static_cast<double>(digit) / d;
            d = d * 10.0;
            ++p;
        }
    }

    double result = value;
    char c = at(p);
    if (c == 'e' || c == 'E') {
        ++p;
        bool negative = false;
        if (at(p) == '-') {
            negative = true;
            ++p;
        } else if (at(p) == '+') {
            ++p;
        }
        unsigned exponent = 0;
        while ((digit = DigitOf(at(p))) < 10) {
            if (exponent <= kMaxExponent) exponent = exponent * 10 + digit;  // saturates above the cap
            ++p;
        }
        if (exponent > kMaxExponent) exponent = kMaxExponent;
        const double scale = kTables.scale[exponent];
        result = negative ? value / scale : value * scale;
    }

    *stop = p;
    return result * sign;
}

// Plain fields: an optional sign, at most 15 digits, optionally a '.' and at
// most 8 digits, at least one digit in all, and nothing else. Their parse
// gives exactly what Parse gives with fewer steps: the whole part is an
// integer below 10^15 < 2^53, exact in a double however its digits are
// summed, and the fraction digits add their terms one after the other as in
// Parse.
constexpr unsigned kPlainFractionDigits = 8;
constexpr size_t kPlainFieldBytes = 16;
// The plain parse reads this many bytes from the field's start, whatever
// the field's length.
constexpr size_t kPlainFieldReach = 16;

struct PlainFieldTables {
    // Row t moves byte j + t - 16 to byte j (0 where that is below 0): row
    // `dot` right-aligns the bytes before the '.'.
    alignas(16) std::array<std::array<uint8_t, 16>, 17> shift{};
    // terms[10 (k + 8) + '0' + d] is fraction[10 k + d], the term of digit d
    // at fraction position k, found by the digit's byte.
    std::array<double, 10 * 16 + '0' + 10> terms{};
};

constexpr PlainFieldTables MakePlainFieldTables() {
    PlainFieldTables t;
    for (int row = 0; row <= 16; ++row) {
        for (int j = 0; j < 16; ++j) {
            const int from = j + row - 16;
            t.shift[row][j] = from >= 0 ? static_cast<uint8_t>(from) : 0x80;
        }
    }
    const Tables steps = MakeTables();
    for (unsigned k = 0; k < kPlainFractionDigits; ++k) {
        for (unsigned d = 0; d < 10; ++d) t.terms[10 * (k + 8) + '0' + d] = steps.fraction[10 * k + d];
    }
    return t;
}

inline constinit const PlainFieldTables kPlainFieldTables = MakePlainFieldTables();

// Vector constants, read from memory so that no register has to keep them.
struct alignas(16) PlainFieldConstants {
    uint8_t zeros[16];
    uint8_t nines[16];
    uint8_t periods[16];
    uint8_t tensAndOnes[16];  // 10, 1, ...: pairs of digits
    uint16_t hundredsAndOnes[8];  // 100, 1, ...: pairs of pairs
    uint16_t tenThousandsAndOnes[8];
    uint64_t signBits[2];  // nothing, and the sign bit of a double
    // By a field's first byte: bit 0 set for a sign, bit 1 for a '-'.
    uint8_t signOf[256];
};

constexpr PlainFieldConstants MakePlainFieldConstants() {
    PlainFieldConstants k{};
    for (int j = 0; j < 16; ++j) {
        k.zeros[j] = '0';
        k.nines[j] = 9;
        k.periods[j] = '.';
        k.tensAndOnes[j] = j % 2 == 0 ? 10 : 1;
    }
    for (int j = 0; j < 8; ++j) {
        k.hundredsAndOnes[j] = j % 2 == 0 ? 100 : 1;
        k.tenThousandsAndOnes[j] = j % 2 == 0 ? 10000 : 1;
    }
    k.signBits[1] = uint64_t{1} << 63;
    k.signOf[static_cast<unsigned char>('+')] = 1;
    k.signOf[static_cast<unsigned char>('-')] = 3;
    return k;
}

inline constinit const PlainFieldConstants kPlainFieldConstants = MakePlainFieldConstants();

#if defined(__x86_64__)
// Parses the field [text, text + length) when it is plain: stores its value
// at `*value` and returns true. Returns false, storing nothing, for any other
// field. Reads kPlainFieldReach bytes from `text` whatever the length: the
// caller makes sure they are there.
[[gnu::target("avx2,bmi,bmi2"), gnu::always_inline]] inline bool ParsePlainFieldAvx2(const char* text, size_t length,
                                                                                    double* value) {
    // The constants are read from memory at each use: the compiler would
    // otherwise build them again in registers for every field.
    const PlainFieldConstants* constants = &kPlainFieldConstants;
    asm("" : "+r"(constants));
    const auto vector = [](const void* bytes) { return _mm_load_si128(static_cast<const __m128i*>(bytes)); };
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i digits = _mm_sub_epi8(bytes, vector(constants->zeros));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digits, vector(constants->nines)), digits);
    const uint32_t digitBits = static_cast<uint32_t>(_mm_movemask_epi8(isDigit));  // 0 from bit 16 on
    const uint32_t periodBits =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, vector(constants->periods))));
    const uint32_t sign = constants->signOf[static_cast<unsigned char>(text[0])];
    const uint32_t signLength = sign & 1;
    const uint32_t fieldLength = static_cast<uint32_t>(std::min<size_t>(length, 31));
    // Every byte of the field a digit but the sign and the first '.' (a
    // field of more than 16 bytes fails: its bytes from the 17th on count as
    // no digits), at least one digit, the whole part at most 15 digits and
    // the fraction at most 8.
    const uint32_t dot = static_cast<uint32_t>(std::countr_zero(periodBits | (uint32_t{1} << fieldLength)));
    const uint32_t fieldBits = (uint32_t{1} << fieldLength) - 1;
    const uint32_t covered = digitBits | signLength | (uint32_t{1} << dot);
    const uint32_t afterDot = fieldLength - dot;  // fraction digits + 1, or 0 without a '.'
    if ((fieldBits & ~covered) != 0 || fieldLength - signLength - (afterDot != 0 ? 1 : 0) == 0 ||
        dot - signLength > 15 || afterDot > kPlainFractionDigits + 1) {
        return false;
    }
    const uint32_t fractionDigits = afterDot - (afterDot != 0 ? 1 : 0);

    // The whole part: its digits right-aligned (the sign's byte, as every
    // byte that is not a digit, counts 0), then pairs, fours and eights.
    __m128i whole = _mm_and_si128(digits, isDigit);
    whole = _mm_shuffle_epi8(whole, vector(kPlainFieldTables.shift[dot].data()));
    whole = _mm_maddubs_epi16(whole, vector(constants->tensAndOnes));
    whole = _mm_madd_epi16(whole, vector(constants->hundredsAndOnes));
    whole = _mm_packus_epi32(whole, whole);
    whole = _mm_madd_epi16(whole, vector(constants->tenThousandsAndOnes));
    const uint64_t high = static_cast<uint32_t>(_mm_cvtsi128_si32(whole));
    const uint64_t low = static_cast<uint32_t>(_mm_extract_epi32(whole, 1));
    double result = static_cast<double>(high * 100000000 + low);

    // The fraction digits add their terms in order: entering at `skip`, the
    // statement of position j adds the term of fraction digit j - skip,
    // which stands at fraction[j].
    const uint32_t skip = kPlainFractionDigits - fractionDigits;
    const unsigned char* const fraction =
        reinterpret_cast<const unsigned char*>(reinterpret_cast<uintptr_t>(text) + dot + 1 - skip);
    const double* const terms = kPlainFieldTables.terms.data() + 10 * fractionDigits;
#define VUX_FRACTION_TERM(j) result += terms[10 * (j) + fraction[j]]
    switch (skip) {
        case 0: VUX_FRACTION_TERM(0); [[fallthrough]];
        case 1: VUX_FRACTION_TERM(1); [[fallthrough]];
        case 2: VUX_FRACTION_TERM(2); [[fallthrough]];
        case 3: VUX_FRACTION_TERM(3); [[fallthrough]];
        case 4: VUX_FRACTION_TERM(4); [[fallthrough]];
        case 5: VUX_FRACTION_TERM(5); [[fallthrough]];
        case 6: VUX_FRACTION_TERM(6); [[fallthrough]];
        case 7: VUX_FRACTION_TERM(7); [[fallthrough]];
        default: break;
    }
#undef VUX_FRACTION_TERM
    // The sign: flipping the sign bit is the multiplication by -1 of Parse.
    const __m128d signBit = _mm_castsi128_pd(_mm_loadl_epi64(
        reinterpret_cast<const __m128i*>(&constants->signBits[sign >> 1])));
    _mm_store_sd(value, _mm_xor_pd(_mm_set_sd(result), signBit));
    return true;
}
#endif

}  // namespace parse_detail
}  // namespace vux
