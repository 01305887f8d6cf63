#include "base/correctly_rounded.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kest {
namespace {

// 2/pi = 0.A2F9836E... in hex: the bits after the point, most significant
// first. Enough for the largest double's reduction at the highest precision.
constexpr uint32_t kTwoOverPi[] = {
    0xA2F9836Eu, 0x4E441529u, 0xFC2757D1u, 0xF534DDC0u, 0xDB629599u, 0x3C439041u,
    0xFE5163ABu, 0xDEBBC561u, 0xB7246E3Au, 0x424DD2E0u, 0x06492EEAu, 0x09D1921Cu,
    0xFE1DEB1Cu, 0xB129A73Eu, 0xE88235F5u, 0x2EBB4484u, 0xE99C7026u, 0xB45F7E41u,
    0x3991D639u, 0x835339F4u, 0x9C845F8Bu, 0xBDF9283Bu, 0x1FF897FFu, 0xDE05980Fu,
    0xEF2F118Bu, 0x5A0A6D1Fu, 0x6D367ECFu, 0x27CB09B7u, 0x4F463F66u, 0x9E5FEA2Du,
    0x7527BAC7u, 0xEBE5F17Bu, 0x3D0739F7u, 0x8A5292EAu, 0x6BFB5FB1u, 0x1F8D5D08u,
    0x56033046u, 0xFC7B6BABu, 0xF0CFBC20u, 0x9AF4361Du, 0xA9E39161u, 0x5EE61B08u,
    0x6599855Fu, 0x14A06840u, 0x8DFFD880u, 0x4D732731u, 0x06061556u, 0xCA73A8C9u,
    0x60E27BC0u, 0x8C6B47C4u, 0x19C367CDu, 0xDCE8092Au, 0x8359C476u, 0x8B961CA6u,
    0xDDAF44D1u, 0x5719053Eu, 0xA5FF0705u, 0x3F7E33E8u, 0x32C2DE4Fu, 0x98327DBBu,
    0xC33D26EFu, 0x6B1E5EF8u, 0x9F3A1F35u, 0xCAF27F1Du, 0x87F12190u, 0x7C7C246Au,
    0xFA6ED577u, 0x2D30433Bu, 0x15C614B5u, 0x9D19C3C2u, 0xC4AD414Du, 0x2C5D000Cu,
    0x467D862Du, 0x71E39AC6u, 0x9B006233u, 0x7CD2B497u, 0xA7B4D555u, 0x37F63ED7u,
    0x1810A3FCu, 0x764D2A9Du, 0x64ABD770u, 0xF87C6357u, 0xB07AE715u, 0x175649C0u,
    0xD9D63B38u, 0x84A7CB23u, 0x24778AD6u, 0x23545AB9u, 0x1F001B0Au, 0xF1DFCE19u,
    0xFF319F6Au, 0x1E666157u, 0x9947FBACu, 0xD87F7EB7u, 0x652289E8u, 0x3260BFE6u,
};

// pi/2 = 1.921FB544...: the fraction bits.
constexpr uint32_t kPiOver2[] = {
    0x921FB544u, 0x42D18469u, 0x898CC517u, 0x01B839A2u, 0x52049C11u, 0x14CF98E8u,
    0x04177D4Cu, 0x76273644u, 0xA29410F3u, 0x1C6809BBu, 0xDF2A3367u, 0x9A748636u,
    0x605614DBu, 0xE4BE286Eu, 0x9FC26ADAu, 0xDAA3848Bu, 0xC90B6AECu, 0xC4BCFD8Du,
    0xE89885D3u, 0x4C6FDAD6u, 0x17FEB96Du, 0xE80D6FDBu, 0xDC70D7F6u, 0xB5133F4Bu,
    0x5D3E4822u, 0xF8963FCCu, 0x9250CCA3u, 0xD9C8B67Bu, 0x8400F971u, 0x42C77E0Bu,
    0x31B4906Cu, 0x38ABA734u, 0xD22C7F51u, 0xFA499EBFu, 0x06CABA47u, 0xB9475B2Cu,
    0x38C5E6ACu, 0x410AA577u, 0x3DAA520Eu, 0xE12D2CDAu, 0xCE186A9Cu, 0x95793009u,
    0xE2E8D811u, 0x943042F8u, 0x6520BC8Cu, 0x5C6D9C77u, 0xC73CEE58u, 0x301D0C07u,
    0x364F0745u, 0xD80F451Fu, 0x6B8ABBE0u, 0xDE98A593u, 0xBC5797EDu, 0x2AB02E30u,
    0x732A92F9u, 0xD52AD5CAu,
};

// ln 2 = 0.B17217F7...: the fraction bits.
constexpr uint32_t kLn2[] = {
    0xB17217F7u, 0xD1CF79ABu, 0xC9E3B398u, 0x03F2F6AFu, 0x40F34326u, 0x7298B62Du,
    0x8A0D175Bu, 0x8BAAFA2Bu, 0xE7B87620u, 0x6DEBAC98u, 0x559552FBu, 0x4AFA1B10u,
    0xED2EAE35u, 0xC1382144u, 0x27573B29u, 0x1169B825u, 0x3E96CA16u, 0x224AE8C5u,
    0x1ACBDA11u, 0x317C387Eu, 0xB9EA9BC3u, 0xB136603Bu, 0x256FA0ECu, 0x7657F74Bu,
    0x72CE87B1u, 0x9D6548CAu, 0xF5DFA6BDu, 0x38303248u, 0x655FA187u, 0x2F20E3A2u,
    0xDA2D97C5u, 0x0F3FD5C6u, 0x07F4CA11u, 0xFB5BFB90u, 0x610D30F8u, 0x8FE551A2u,
    0xEE569D6Du, 0xFC1EFA15u, 0x7D2E23DEu, 0x1400B396u, 0x17460775u, 0xDB8990E5u,
    0xC943E732u, 0xB479CD33u, 0xCCCC4E65u, 0x9393514Cu, 0x4C1A1E0Bu, 0xD1D6095Du,
    0x25669B33u, 0x3564A337u, 0x6A9C7F8Au, 0x5E148E82u, 0x074DB601u, 0x5CFE7AA3u,
    0x0C480A54u, 0x17350D2Cu,
};

// 1/ln 2 = 1.71547652...: the fraction bits.
constexpr uint32_t kInvLn2[] = {
    0x71547652u, 0xB82FE177u, 0x7D0FFDA0u, 0xD23A7D11u, 0xD6AEF551u, 0xBAD2B4B1u,
    0x164A2CD9u, 0xA342648Fu, 0xBC3887EEu, 0xAA2ED9ACu, 0x49B25EEBu, 0x82D7C167u,
    0xD52173CCu, 0x1895213Fu, 0x897F5E06u, 0xA7BE7366u, 0x5FC52926u, 0x4C2FB3ABu,
    0x643687AAu, 0xF3AB440Cu, 0x16BD777Eu, 0x75050A8Du, 0x1A39E8AFu, 0x56C64A78u,
    0x33352906u, 0xDEB692CEu, 0x4F199E10u, 0x8CF39281u, 0x9CFC406Bu, 0x19ABB71Eu,
    0xC25E11F7u, 0x5C6142E6u, 0x4CA16DA2u, 0x0B1D74A1u, 0x2C719098u, 0xB4040CBEu,
    0x82351BD8u, 0xBD422427u, 0x231F9EE2u, 0x5BD0C470u, 0xFE2464B8u, 0x92824C12u,
    0x0F2D07DBu, 0x43448B6Bu, 0xDD358165u, 0xF1A2B3D8u, 0x675F9EE1u, 0xD8D19CE2u,
    0x2ECE1D8Eu, 0x1CF2ED95u, 0x025C73A0u, 0xB608ECB0u, 0xAC9CB843u, 0xA1C53B02u,
    0x1698C0EBu, 0xA217677Fu,
};

constexpr int kTableLimbs = 56;  // fraction limbs of kPiOver2, kLn2, kInvLn2
static_assert(sizeof(kPiOver2) / sizeof(uint32_t) == kTableLimbs);
static_assert(sizeof(kLn2) / sizeof(uint32_t) == kTableLimbs);
static_assert(sizeof(kInvLn2) / sizeof(uint32_t) == kTableLimbs);
constexpr int kTwoOverPiWords = static_cast<int>(sizeof(kTwoOverPi) / sizeof(uint32_t));

// Working precisions in fraction limbs, tried in turn. The first settles all
// but about one value in 2^30; the rest are for values very close to a tie
// between two doubles, and for results that are tiny beside their argument.
constexpr int kPrecisions[] = {3, 6, 12, 24, 48};
constexpr int kMaxLimbs = 52;  // the last precision plus the logarithm's extra limbs
static_assert(kMaxLimbs + 2 <= kTableLimbs);

// An unsigned fixed-point number: w[0] is the integer part (arithmetic on it
// wraps modulo 2^32), w[i] holds the bits of weight 2^(-32i + 31) down to
// 2^(-32i) for i = 1 .. n. Limbs past n stay zero. One unit is 2^(-32n).
struct Fixed {
    int n = 0;
    uint32_t w[kMaxLimbs + 3] = {};
};

Fixed Zero(int n) {
    Fixed a;
    a.n = n;
    return a;
}

Fixed Constant(uint32_t whole, const uint32_t* fraction, int n) {
    Fixed a = Zero(n);
    a.w[0] = whole;
    for (int i = 1; i <= n; ++i) a.w[i] = fraction[i - 1];
    return a;  // truncated: below one unit short of the constant
}

// value * 2^scale, truncated to n fraction limbs; value * 2^scale < 2^32.
Fixed FromScaled(uint64_t value, int scale, int n) {
    Fixed a = Zero(n);
    for (int bit = 0; bit < 64; ++bit) {
        if (((value >> bit) & 1u) == 0) continue;
        const int weight = bit + scale;  // the bit's place: 2^weight
        if (weight < -32 * n || weight > 31) continue;
        const int fromTop = 31 - weight;  // 0 = top bit of w[0]
        a.w[fromTop / 32] |= 1u << (31 - fromTop % 32);
    }
    return a;
}

bool IsZero(const Fixed& a) {
    for (int i = 0; i <= a.n; ++i)
        if (a.w[i] != 0) return false;
    return true;
}

int Compare(const Fixed& a, const Fixed& b) {
    for (int i = 0; i <= a.n; ++i)
        if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
    return 0;
}

Fixed Add(const Fixed& a, const Fixed& b) {
    Fixed s = Zero(a.n);
    uint64_t carry = 0;
    for (int i = a.n; i >= 0; --i) {
        const uint64_t t = uint64_t{a.w[i]} + b.w[i] + carry;
        s.w[i] = static_cast<uint32_t>(t);
        carry = t >> 32;
    }
    return s;
}

// a - b for a >= b.
Fixed Sub(const Fixed& a, const Fixed& b) {
    Fixed d = Zero(a.n);
    uint64_t borrow = 0;
    for (int i = a.n; i >= 0; --i) {
        const uint64_t t = uint64_t{a.w[i]} - b.w[i] - borrow;
        d.w[i] = static_cast<uint32_t>(t);
        borrow = (t >> 32) & 1u;
    }
    return d;
}

// The product truncated to n fraction limbs (below one unit short); the
// integer part must fit in 32 bits.
Fixed Mul(const Fixed& a, const Fixed& b) {
    const int n = a.n;
    // Little-endian copies: index 0 is the lowest limb.
    uint32_t x[kMaxLimbs + 3];
    uint32_t y[kMaxLimbs + 3];
    uint32_t p[2 * (kMaxLimbs + 3)] = {};
    for (int i = 0; i <= n; ++i) {
        x[i] = a.w[n - i];
        y[i] = b.w[n - i];
    }
    for (int i = 0; i <= n; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j <= n; ++j) {
            const uint64_t t = uint64_t{x[i]} * y[j] + p[i + j] + carry;
            p[i + j] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        p[i + n + 1] = static_cast<uint32_t>(carry);
    }
    // p holds the product times 2^(64n): limb 2n is the integer part.
    Fixed r = Zero(n);
    for (int k = 0; k <= n; ++k) r.w[k] = p[2 * n - k];
    return r;
}

// a * m, exact; the integer part wraps modulo 2^32.
Fixed MulSmall(const Fixed& a, uint32_t m) {
    Fixed r = Zero(a.n);
    uint64_t carry = 0;
    for (int i = a.n; i >= 0; --i) {
        const uint64_t t = uint64_t{a.w[i]} * m + carry;
        r.w[i] = static_cast<uint32_t>(t);
        carry = t >> 32;
    }
    return r;
}

// a / d truncated (below one unit short); d > 0.
Fixed DivSmall(const Fixed& a, uint32_t d) {
    Fixed q = Zero(a.n);
    uint64_t rem = 0;
    for (int i = 0; i <= a.n; ++i) {
        const uint64_t t = (rem << 32) | a.w[i];
        q.w[i] = static_cast<uint32_t>(t / d);
        rem = t % d;
    }
    return q;
}

// a / b truncated (below one unit short), for a < b: restoring division, one
// quotient bit a step.
Fixed DivBelowOne(const Fixed& a, const Fixed& b) {
    const int n = a.n;
    // Big-endian n + 2 limbs, one above the integer part, so that twice the
    // remainder never overflows.
    uint32_t rem[kMaxLimbs + 4] = {};
    uint32_t den[kMaxLimbs + 4] = {};
    for (int i = 0; i <= n; ++i) {
        rem[i + 1] = a.w[i];
        den[i + 1] = b.w[i];
    }
    Fixed q = Zero(n);
    for (int bit = 0; bit < 32 * n; ++bit) {
        uint32_t carry = 0;
        for (int i = n + 1; i >= 0; --i) {
            const uint32_t top = rem[i] >> 31;
            rem[i] = (rem[i] << 1) | carry;
            carry = top;
        }
        bool fits = true;
        for (int i = 0; i <= n + 1; ++i) {
            if (rem[i] != den[i]) {
                fits = rem[i] > den[i];
                break;
            }
        }
        if (!fits) continue;
        uint64_t borrow = 0;
        for (int i = n + 1; i >= 0; --i) {
            const uint64_t t = uint64_t{rem[i]} - den[i] - borrow;
            rem[i] = static_cast<uint32_t>(t);
            borrow = (t >> 32) & 1u;
        }
        q.w[1 + bit / 32] |= 1u << (31 - bit % 32);
    }
    return q;
}

// a * 2^bits; the integer part must stay below 2^32.
Fixed ShiftLeft(const Fixed& a, int bits) {
    Fixed r = Zero(a.n);
    const int limbs = bits / 32;
    const int rest = bits % 32;
    for (int i = 0; i <= a.n; ++i) {
        const int from = i + limbs;
        if (from > a.n) break;
        uint32_t v = a.w[from] << rest;
        if (rest != 0 && from + 1 <= a.n) v |= a.w[from + 1] >> (32 - rest);
        r.w[i] = v;
    }
    return r;
}

// a * 2^-bits, truncated.
Fixed ShiftRight(const Fixed& a, int bits) {
    Fixed r = Zero(a.n);
    const int limbs = bits / 32;
    const int rest = bits % 32;
    for (int i = a.n; i >= 0; --i) {
        const int from = i - limbs;
        if (from < 0) continue;
        uint32_t v = a.w[from] >> rest;
        if (rest != 0 && from >= 1) v |= a.w[from - 1] << (32 - rest);
        r.w[i] = v;
    }
    return r;
}

// The same value cut (or padded) to n fraction limbs.
Fixed Resize(const Fixed& a, int n) {
    Fixed r = Zero(n);
    for (int i = 0; i <= n && i <= a.n; ++i) r.w[i] = a.w[i];
    return r;
}

// floor(log2 a) for a > 0.
int LeadingPower(const Fixed& a) {
    for (int i = 0; i <= a.n; ++i)
        if (a.w[i] != 0) return 31 - std::countl_zero(a.w[i]) - 32 * i;
    return std::numeric_limits<int>::min();
}

double FromBits(uint64_t bits) { return std::bit_cast<double>(bits); }

double Signed(double magnitude, bool negative) { return negative ? -magnitude : magnitude; }

// Rounds N * 2^scale to the nearest double, ties to even, subnormals and
// overflow included; N is the big-endian integer limbs[0 .. count-1].
double RoundToDouble(const uint32_t* limbs, int count, int64_t scale, bool negative) {
    auto bitAt = [&](int64_t index) -> uint32_t {  // index 0 = lowest bit of N
        const int64_t limb = count - 1 - index / 32;
        return (limbs[limb] >> (index % 32)) & 1u;
    };
    int64_t top = -1;
    for (int i = 0; i < count; ++i) {
        if (limbs[i] != 0) {
            top = 32 * int64_t{count - 1 - i} + 31 - std::countl_zero(limbs[i]);
            break;
        }
    }
    if (top < 0) return Signed(0.0, negative);
    const int64_t lead = top + scale;  // the leading bit's place
    if (lead > 1023) return Signed(std::numeric_limits<double>::infinity(), negative);
    int64_t last = lead - 52 > -1074 ? lead - 52 : -1074;  // the result's lowest bit's place
    const int64_t drop = last - scale;                      // bits of N below that place
    uint64_t m = 0;
    if (drop <= 0) {
        for (int64_t b = top; b >= 0; --b) m = (m << 1) | bitAt(b);
        m <<= -drop;
    } else {
        for (int64_t b = top; b >= drop; --b) m = (m << 1) | bitAt(b);
        const bool half = drop - 1 <= top && bitAt(drop - 1) != 0;
        bool sticky = false;
        for (int64_t b = (drop - 2 < top ? drop - 2 : top); b >= 0 && !sticky; --b) sticky = bitAt(b) != 0;
        if (half && (sticky || (m & 1u) != 0)) ++m;
    }
    constexpr uint64_t kHidden = uint64_t{1} << 52;
    if (m == 2 * kHidden) {
        m = kHidden;
        ++last;
    }
    if (m < kHidden) return Signed(FromBits(m), negative);  // subnormal: last is -1074
    const int64_t biased = last + 1075;
    if (biased >= 2047) return Signed(std::numeric_limits<double>::infinity(), negative);
    return Signed(FromBits((static_cast<uint64_t>(biased) << 52) | (m - kHidden)), negative);
}

// v * 2^scale rounded, if every value within err units of v rounds the same.
bool RoundIfSettled(const Fixed& v, uint32_t err, int64_t scale, bool negative, double& out) {
    Fixed margin = Zero(v.n);
    margin.w[v.n] = err;
    if (Compare(v, margin) < 0) return false;  // the sign itself is unsettled
    const Fixed lo = Sub(v, margin);
    const Fixed hi = Add(v, margin);
    const int64_t place = scale - 32 * int64_t{v.n};
    const double a = RoundToDouble(lo.w, lo.n + 1, place, negative);
    const double b = RoundToDouble(hi.w, hi.n + 1, place, negative);
    if (std::bit_cast<uint64_t>(a) != std::bit_cast<uint64_t>(b)) return false;
    out = a;
    return true;
}

// For the rare value that even the finest precision leaves undecided (none
// is known among doubles), the nearest to the computed value.
double RoundAnyway(const Fixed& v, int64_t scale, bool negative) {
    return RoundToDouble(v.w, v.n + 1, scale - 32 * int64_t{v.n}, negative);
}

struct Bits {
    uint64_t mantissa;  // with the hidden bit for normal numbers
    int exponent;       // value = mantissa * 2^exponent
};

Bits Split(double x) {
    const uint64_t b = std::bit_cast<uint64_t>(x);
    const int biased = static_cast<int>((b >> 52) & 0x7FF);
    const uint64_t fraction = b & ((uint64_t{1} << 52) - 1);
    if (biased == 0) return {fraction, -1074};
    return {fraction | (uint64_t{1} << 52), biased - 1075};
}

// ---- sine and cosine ----

// Bits a .. a + 31 of 2/pi after the point (bit 1 is the first), zero before it.
uint32_t TwoOverPiBits(int a) {
    const int first = a - 1;
    if (first <= -32) return 0;
    if (first < 0) return kTwoOverPi[0] >> -first;
    const int word = first / 32;
    const int offset = first % 32;
    const uint32_t high = word < kTwoOverPiWords ? kTwoOverPi[word] : 0;
    if (offset == 0) return high;
    const uint32_t low = word + 1 < kTwoOverPiWords ? kTwoOverPi[word + 1] : 0;
    return (high << offset) | (low >> (32 - offset));
}

struct Reduced {
    int quadrant;  // x = (quadrant + 4j) * pi/2 +- r
    bool negative;  // the sign in front of r
    Fixed r;        // 0 <= r <= pi/4, within 4 units
};

// |x| = mx * 2^ex. Only the bits of 2/pi from weight 2^(1 - ex) on matter
// modulo 4, so x * 2/pi mod 4 comes exactly from a window of them: the
// window starts at the integer bits and runs two limbs past the working
// precision, which keeps the product's error below 2^-11 units however large
// x is.
Reduced ReduceQuadrant(double ax, int n) {
    const Bits x = Split(ax);
    const int window = n + 2;
    Fixed g = Zero(window);
    g.w[0] = TwoOverPiBits(x.exponent - 1) >> 30;  // weights 2 and 1
    for (int i = 1; i <= window; ++i) g.w[i] = TwoOverPiBits(x.exponent + 32 * (i - 1) + 1);
    // g * mx, in two halves of mx; the integer part wraps, which keeps it modulo 4.
    Fixed y = MulSmall(g, static_cast<uint32_t>(x.mantissa));
    const Fixed high = MulSmall(g, static_cast<uint32_t>(x.mantissa >> 32));
    Fixed highShifted = Zero(window);
    for (int i = 0; i < window; ++i) highShifted.w[i] = high.w[i + 1];
    y = Resize(Add(y, highShifted), n);

    Reduced red{static_cast<int>(y.w[0] & 3u), false, Zero(n)};
    y.w[0] = 0;
    if ((y.w[1] >> 31) != 0) {  // fraction >= 1/2: measure from the next quadrant
        red.quadrant = (red.quadrant + 1) & 3;
        red.negative = true;
        Fixed one = Zero(n);
        one.w[0] = 1;
        y = Sub(one, y);
    }
    red.r = Mul(y, Constant(1, kPiOver2, n));
    return red;
}

// The series below are alternating with falling terms; each step adds under
// a few units of error, so 16 units a term (plus the argument's 4) is a
// generous bound.
uint32_t SeriesError(int terms) { return 16u * static_cast<uint32_t>(terms + 4); }

Fixed SinSeries(const Fixed& r, uint32_t& err) {
    const Fixed r2 = Mul(r, r);
    Fixed sum = r;
    Fixed term = r;
    int terms = 0;
    for (uint32_t k = 1;; ++k) {
        term = DivSmall(Mul(term, r2), (2 * k) * (2 * k + 1));
        if (IsZero(term)) break;
        sum = (k & 1u) != 0 ? Sub(sum, term) : Add(sum, term);
        ++terms;
    }
    err = SeriesError(terms);
    return sum;
}

Fixed CosSeries(const Fixed& r, uint32_t& err) {
    const Fixed r2 = Mul(r, r);
    Fixed sum = Zero(r.n);
    sum.w[0] = 1;
    Fixed term = sum;
    int terms = 0;
    for (uint32_t k = 1;; ++k) {
        term = DivSmall(Mul(term, r2), (2 * k - 1) * (2 * k));
        if (IsZero(term)) break;
        sum = (k & 1u) != 0 ? Sub(sum, term) : Add(sum, term);
        ++terms;
    }
    err = SeriesError(terms);
    return sum;
}

// sin x with shift 0, cos x with shift 1: cos x = sin(x + pi/2).
double SinOfQuadrant(double x, int shift) {
    const double ax = std::fabs(x);
    const bool xNegative = shift == 0 && std::signbit(x);
    Fixed value;
    bool negative = false;
    for (int n : kPrecisions) {
        const Reduced red = ReduceQuadrant(ax, n);
        const int quadrant = (red.quadrant + shift) & 3;
        uint32_t err = 0;
        // quadrant 0: sin(+-r), 1: cos r, 2: -sin(+-r), 3: -cos r
        value = (quadrant & 1) != 0 ? CosSeries(red.r, err) : SinSeries(red.r, err);
        negative = xNegative != (quadrant >= 2);
        if ((quadrant & 1) == 0 && red.negative) negative = !negative;
        double out = 0.0;
        if (RoundIfSettled(value, err, 0, negative, out)) return out;
    }
    return RoundAnyway(value, 0, negative);
}

// ---- power ----

// The integer square root of v < 2^53, if v is a square.
bool ExactSqrt(uint64_t v, uint64_t& root) {
    uint64_t s = static_cast<uint64_t>(std::sqrt(static_cast<double>(v)));
    while (s * s > v) --s;
    while ((s + 1) * (s + 1) <= v) ++s;
    root = s;
    return s * s == v;
}

struct OddSplit {
    uint64_t odd;  // v = odd * 2^exponent, odd odd
    int exponent;
};

OddSplit SplitOdd(double v) {
    const Bits b = Split(std::fabs(v));
    const int zeros = std::countr_zero(b.mantissa);
    return {b.mantissa >> zeros, b.exponent + zeros};
}

// x^y for x > 0 when it is a dyadic number short enough to sit on a tie
// between doubles (or to be one), computed exactly: the only way a tie can
// arise. With x = m 2^e (m odd) and y = n / 2^k in lowest terms, x^y = M 2^Q
// (M odd) needs m^n = M^(2^k) and e n = Q 2^k. So either m = 1 and e y is an
// integer, or n > 0, m = s^(2^k) and M = s^n; a tie needs M below 2^54,
// which with s >= 3 means n <= 34 and 2^k <= 33.
bool ExactPower(double x, double y, double& out) {
    const OddSplit bx = SplitOdd(x);
    const OddSplit by = SplitOdd(y);
    const bool yNegative = y < 0.0;
    if (bx.odd == 1) {
        // |e y| below 2^12 * 1075 keeps every product exact; anything larger
        // over- or underflows far from a tie, which the general path handles.
        if (std::fabs(y) > 4096.0) return false;
        int64_t q = 0;
        if (by.exponent >= 0) {
            q = int64_t{bx.exponent} * static_cast<int64_t>(by.odd << by.exponent);
        } else {
            if (by.exponent < -11) return false;  // |e| < 2^11: e y is no integer
            const int64_t unit = int64_t{1} << -by.exponent;
            if (bx.exponent % unit != 0) return false;
            q = (bx.exponent / unit) * static_cast<int64_t>(by.odd);
        }
        const uint32_t one[1] = {1};
        out = RoundToDouble(one, 1, yNegative ? -q : q, false);
        return true;
    }
    if (yNegative || y > 34.0 || by.exponent < -5) return false;
    const int k = by.exponent < 0 ? -by.exponent : 0;
    const uint64_t n = by.exponent < 0 ? by.odd : by.odd << by.exponent;
    uint64_t s = bx.odd;
    for (int i = 0; i < k; ++i)
        if (!ExactSqrt(s, s)) return false;  // x^y irrational
    if (bx.exponent % (1 << k) != 0) return false;  // a power of 2^(1/2^k) remains: irrational
    uint64_t p = 1;
    for (uint64_t i = 0; i < n; ++i) {
        if (p > UINT64_MAX / s) return false;  // odd and longer than 64 bits: no tie, not exact
        p *= s;
    }
    const int64_t q = int64_t{bx.exponent / (1 << k)} * static_cast<int64_t>(n);
    const uint32_t limbs[2] = {static_cast<uint32_t>(p >> 32), static_cast<uint32_t>(p)};
    out = RoundToDouble(limbs, 2, q, false);
    return true;
}

// ln f for sqrt(1/2) <= f < sqrt(2), as 2 atanh(s) = 2 (s + s^3/3 + s^5/5 ...)
// with s = |f - 1| / (f + 1) <= 0.172: the magnitude, within err units.
Fixed LogMantissa(const Fixed& f, const Fixed& one, bool below, uint32_t& err) {
    const Fixed s = DivBelowOne(below ? Sub(one, f) : Sub(f, one), Add(f, one));
    const Fixed s2 = Mul(s, s);
    Fixed sum = s;
    Fixed power = s;
    int terms = 0;
    for (uint32_t k = 1;; ++k) {
        power = Mul(power, s2);
        const Fixed term = DivSmall(power, 2 * k + 1);
        if (IsZero(term)) break;
        sum = Add(sum, term);
        ++terms;
    }
    err = 4u * static_cast<uint32_t>(terms) + 12u;
    return Add(sum, sum);
}

// e^r for 0 <= r < ln 2, within err units of e^r for the r given.
Fixed ExpSeries(const Fixed& r, uint32_t& err) {
    Fixed sum = Zero(r.n);
    sum.w[0] = 1;
    Fixed term = sum;
    int terms = 0;
    for (uint32_t k = 1;; ++k) {
        term = DivSmall(Mul(term, r), k);
        if (IsZero(term)) break;
        sum = Add(sum, term);
        ++terms;
    }
    err = 4u * static_cast<uint32_t>(terms) + 8u;
    return sum;
}

// x^y = e^(y ln x) for finite x > 0, x != 1, finite y != 0, not exact.
double PowGeneral(double x, double y) {
    // x = f 2^E with sqrt(1/2) <= f < sqrt(2); f = mantissa / 2^fScale.
    Bits bx = Split(x);
    const int normalise = std::countl_zero(bx.mantissa) - 11;  // subnormals
    bx.mantissa <<= normalise;
    int bigE = bx.exponent - normalise + 52;
    int fScale = 52;
    if ((bx.mantissa & ((uint64_t{1} << 52) - 1)) > 0x6A09E667F3BCCu) {  // f > sqrt(2)
        ++bigE;
        fScale = 53;
    }
    const bool lnNegative = x < 1.0;
    // |y| = Y 2^yE with 1 <= Y < 2.
    Bits by = Split(std::fabs(y));
    const int yNormalise = std::countl_zero(by.mantissa) - 11;
    by.mantissa <<= yNormalise;
    const int yE = by.exponent - yNormalise + 52;
    const bool tNegative = lnNegative != (y < 0.0);
    // |ln x| > 2^-54 for every double x != 1, so |t| = |y ln x| > 2^(yE - 54):
    // from yE = 66 on, t is beyond +-4096, far past overflow and underflow.
    const double beyond = tNegative ? 0.0 : std::numeric_limits<double>::infinity();
    if (yE >= 66) return beyond;

    Fixed value;
    int64_t k = 0;
    for (int n : kPrecisions) {
        // With y large the logarithm's error is scaled up by 2^yE: work
        // with that many more bits and one limb more.
        const int nl = n + (yE > 0 ? (yE + 31) / 32 + 1 : 0);
        Fixed one = Zero(nl);
        one.w[0] = 1;
        const Fixed f = FromScaled(bx.mantissa, -fScale, nl);
        const bool fBelow = Compare(f, one) < 0;
        uint32_t errLn = 0;
        const Fixed lnF = LogMantissa(f, one, fBelow, errLn);
        const uint32_t absE = static_cast<uint32_t>(bigE < 0 ? -bigE : bigE);
        const Fixed eLn2 = MulSmall(Constant(0, kLn2, nl), absE);  // within |E| units
        errLn += absE + 1;
        // ln x = E ln 2 + ln f, the two signed.
        Fixed a;
        const bool eNegative = bigE < 0;
        if (eNegative == fBelow) {
            a = Add(eLn2, lnF);
        } else {
            a = Compare(eLn2, lnF) >= 0 ? Sub(eLn2, lnF) : Sub(lnF, eLn2);
        }
        if (IsZero(a)) continue;
        const int h = LeadingPower(a);
        // |t| >= 2^(h - 1 + yE) with the error counted: from 2^12 on, the
        // result is 0 or infinite.
        if (h + yE >= 13) return beyond;
        // |t| < 2^(h + 1 + yE + 1) <= 2^14 from here on.
        Fixed t = Mul(a, FromScaled(by.mantissa, -52, nl));
        t = yE >= 0 ? ShiftLeft(t, yE) : ShiftRight(t, -yE);
        t = Resize(t, n);
        // Shifting left by yE grows the error by 2^yE, but the extra limbs
        // make their units at least 2^(yE + 32) finer.
        const uint32_t errT = 2 * errLn + 4;

        // |t| = q ln 2 + rem with 0 <= rem < ln 2.
        const Fixed ln2 = Constant(0, kLn2, n);
        uint32_t q = Mul(t, Constant(1, kInvLn2, n)).w[0];
        while (q > 0 && Compare(MulSmall(ln2, q), t) > 0) --q;
        while (Compare(MulSmall(ln2, q + 1), t) <= 0) ++q;
        Fixed r = Sub(t, MulSmall(ln2, q));
        k = q;
        if (tNegative) {  // e^-|t| = 2^-(q+1) e^(ln 2 - rem)
            k = -int64_t{q};
            if (!IsZero(r)) {
                k -= 1;
                r = Sub(ln2, r);
            }
        }
        const uint32_t errR = errT + q + 2;
        uint32_t errExp = 0;
        value = ExpSeries(r, errExp);
        errExp += 2 * errR;  // d(e^r)/dr < 2
        double out = 0.0;
        if (RoundIfSettled(value, errExp, k, false, out)) return out;
    }
    return RoundAnyway(value, k, false);
}

double PowPositive(double x, double y) {
    if (x == 1.0) return 1.0;
    double out = 0.0;
    if (ExactPower(x, y, out)) return out;
    return PowGeneral(x, y);
}

bool IsInteger(double y) {
    if (std::fabs(y) >= 4503599627370496.0) return true;  // 2^52: no fraction bits left
    return y == static_cast<double>(static_cast<int64_t>(y));
}

bool IsOddInteger(double y) {
    if (std::fabs(y) >= 9007199254740992.0) return false;  // 2^53 and up are even
    return IsInteger(y) && (static_cast<int64_t>(y) & 1) != 0;
}

}  // namespace

double CorrectlyRoundedSin(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    // |sin x - x| < |x|^3 / 6 < 2^-54.5 |x| is under half the gap below |x|.
    if (std::fabs(x) < 0x1p-26) return x;
    return SinOfQuadrant(x, 0);
}

double CorrectlyRoundedCos(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    // 1 - cos x < x^2 / 2 < 2^-55, under half the gap below 1.
    if (std::fabs(x) < 0x1p-27) return 1.0;
    return SinOfQuadrant(x, 1);
}

double CorrectlyRoundedPow(double x, double y) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    if (y == 0.0 || x == 1.0) return 1.0;
    if (std::isnan(x) || std::isnan(y)) return std::numeric_limits<double>::quiet_NaN();
    if (std::isinf(y)) {
        const double ax = std::fabs(x);
        if (ax == 1.0) return 1.0;
        return (ax < 1.0) == (y > 0.0) ? 0.0 : kInf;
    }
    const bool odd = IsOddInteger(y);
    if (x == 0.0 || std::isinf(x)) {
        // 0^y and inf^y: one of 0 and inf by the sign of y (reversed for
        // inf), carrying x's sign only for odd integer y.
        const bool big = (x == 0.0) == (y < 0.0);
        return Signed(big ? kInf : 0.0, odd && std::signbit(x));
    }
    if (x < 0.0) {
        if (!IsInteger(y)) return std::numeric_limits<double>::quiet_NaN();
        return Signed(PowPositive(-x, y), odd);
    }
    return PowPositive(x, y);
}

}  // namespace kest
