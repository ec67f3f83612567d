#pragma once
// Adaptive-precision floating-point expansions: a value is kept as a
// sequence of non-overlapping doubles, sorted by increasing magnitude,
// whose exact sum is the value. Sums and products of expansions are exact,
// so the sign of any polynomial in double inputs can be decided exactly.
#include <cstddef>
#include <vector>

namespace Kiln {

/// Dekker's splitter 2^27 + 1: splits a double into two 26-bit halves.
constexpr double kExpansionSplitter = 134217729.0;

/// a + b = sum + err exactly (Knuth's two-sum).
inline void twoSum(double a, double b, double& sum, double& err) {
    sum = a + b;
    const double bVirtual = sum - a;
    const double aVirtual = sum - bVirtual;
    err = (a - aVirtual) + (b - bVirtual);
}

/// a * b = product + err exactly (Dekker's two-product).
inline void twoProduct(double a, double b, double& product, double& err) {
    product = a * b;
    double c = kExpansionSplitter * a;
    const double aHi = c - (c - a);
    const double aLo = a - aHi;
    c = kExpansionSplitter * b;
    const double bHi = c - (c - b);
    const double bLo = b - bHi;
    err = ((aHi * bHi - product) + aHi * bLo + aLo * bHi) + aLo * bLo;
}

/// An exact real value as a non-overlapping sum of doubles. Short
/// expansions live inline; only long ones allocate. Meant for the cases a
/// floating-point filter cannot decide.
class Expansion {
public:
    Expansion() = default;
    /*implicit*/ Expansion(double value) {
        if (value != 0.0)
            local[count++] = value;
    }
    Expansion(const Expansion& other) { assign(other.data(), other.count); }
    Expansion& operator=(const Expansion& other) {
        if (this != &other)
            assign(other.data(), other.count);
        return *this;
    }
    Expansion(Expansion&& other) noexcept { take(other); }
    Expansion& operator=(Expansion&& other) noexcept {
        if (this != &other)
            take(other);
        return *this;
    }

    /// Sign of the exact value: -1, 0 or +1.
    int sign() const {
        if (count == 0)
            return 0;
        return data()[count - 1] > 0.0 ? 1 : -1;
    }
    /// Approximation of the value (the sum of its terms, largest last).
    double estimate() const {
        double sum = 0.0;
        const double* t = data();
        for (std::size_t i = 0; i < count; ++i)
            sum += t[i];
        return sum;
    }
    std::size_t size() const { return count; }
    /// The terms, increasing in magnitude.
    const double* data() const { return heap.empty() ? local : heap.data(); }

    Expansion operator-() const;
    friend Expansion operator+(const Expansion& a, const Expansion& b);
    friend Expansion operator-(const Expansion& a, const Expansion& b);
    friend Expansion operator*(const Expansion& a, const Expansion& b);
    /// The product with a single double (Shewchuk's scale-expansion).
    friend Expansion operator*(const Expansion& a, double b);

    /// Exact difference of two doubles as an expansion of at most two terms.
    static Expansion difference(double a, double b);
    /// Exact product of two doubles as an expansion of at most two terms.
    static Expansion product(double a, double b);
    /// Exact a*d - b*c of four doubles as an expansion of at most four terms.
    static Expansion determinant2(double a, double b, double c, double d);

private:
    static constexpr std::size_t kLocal = 24;

    /// Room for n terms, returned for writing; the count is set by the caller.
    double* reserve(std::size_t n) {
        if (n <= kLocal) {
            heap.clear();
            return local;
        }
        heap.resize(n);
        return heap.data();
    }
    void assign(const double* terms, std::size_t n) {
        double* out = reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = terms[i];
        count = n;
    }
    void take(Expansion& other) {
        if (other.heap.empty()) {
            heap.clear();
            for (std::size_t i = 0; i < other.count; ++i)
                local[i] = other.local[i];
        } else {
            heap.swap(other.heap);
        }
        count = other.count;
    }
    friend struct ExpansionAccess;

    double local[kLocal];
    std::vector<double> heap; // used instead of local when non-empty
    std::size_t count = 0;
};

/// Sign of the exact value a*d - b*c for doubles a, b, c, d.
int signOfDeterminant2(double a, double b, double c, double d);

/// Sign of the exact triple product w . (u x v) of three double vectors,
/// on stack buffers: the orientation test behind most exact point-plane
/// decisions.
int signOfTripleProduct(const double u[3], const double v[3], const double w[3]);

/// The exact triple product w . (u x v) itself.
Expansion tripleProduct(const double u[3], const double v[3], const double w[3]);

} // namespace Kiln
