#include "check/punycode.h"

#include <algorithm>

namespace {

constexpr unsigned BASE = 36;
constexpr unsigned T_MIN = 1;
constexpr unsigned T_MAX = 26;
constexpr unsigned SKEW = 38;
constexpr unsigned DAMP = 700;
constexpr unsigned INITIAL_BIAS = 72;
constexpr char32_t INITIAL_N = 0x80;

char digit(unsigned value) {
    return static_cast<char>(value < 26 ? 'a' + value : '0' + (value - 26));
}

unsigned adapt(unsigned long long delta, std::size_t points, bool first) {
    delta = first ? delta / DAMP : delta / 2;
    delta += delta / points;
    unsigned k = 0;
    while (delta > ((BASE - T_MIN) * T_MAX) / 2) {
        delta /= BASE - T_MIN;
        k += BASE;
    }
    return static_cast<unsigned>(k + (((BASE - T_MIN + 1) * delta) / (delta + SKEW)));
}

// The text written so far; it fails for good once a character does not fit.
struct Output {
    char* text;
    std::size_t size;
    std::size_t length;
    bool fits;

    void put(char c) {
        fits = fits && length + 1 < size;
        if (fits) {
            text[length++] = c;
        }
    }
};

// The threshold at position k of a variable-length integer: k - bias,
// held within T_MIN and T_MAX.
unsigned threshold(unsigned k, unsigned bias) {
    return k <= bias ? T_MIN : std::clamp(k - bias, T_MIN, T_MAX);
}

// delta as a variable-length integer in the bias's thresholds.
void put_delta(Output& out, unsigned long long delta, unsigned bias) {
    unsigned long long q = delta;
    for (unsigned k = BASE;; k += BASE) {
        const unsigned t = threshold(k, bias);
        if (q < t) {
            break;
        }
        out.put(digit(static_cast<unsigned>(t + ((q - t) % (BASE - t)))));
        q = (q - t) / (BASE - t);
    }
    out.put(digit(static_cast<unsigned>(q)));
}

} // namespace

std::size_t punycode_encode(const char32_t* label, std::size_t length, char* out,
                            std::size_t size) {
    Output written{out, size, 0, size > 0};
    std::size_t basic = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (label[i] < INITIAL_N) {
            written.put(static_cast<char>(label[i]));
            ++basic;
        }
    }
    if (basic > 0) {
        written.put('-');
    }
    char32_t n = INITIAL_N;
    unsigned long long delta = 0;
    unsigned bias = INITIAL_BIAS;
    for (std::size_t handled = basic; handled < length && written.fits;) {
        char32_t next = static_cast<char32_t>(-1);
        for (std::size_t i = 0; i < length; ++i) {
            next = label[i] >= n ? std::min(next, label[i]) : next;
        }
        delta += (next - n) * (handled + 1);
        n = next;
        for (std::size_t i = 0; i < length; ++i) {
            delta += label[i] < n ? 1 : 0;
            if (label[i] == n) {
                put_delta(written, delta, bias);
                bias = adapt(delta, handled + 1, handled == basic);
                delta = 0;
                ++handled;
            }
        }
        ++delta;
        ++n;
    }
    if (!written.fits) {
        return 0;
    }
    out[written.length] = '\0';
    return written.length;
}
