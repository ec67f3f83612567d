#include "detail/Expansion.h"

#include <algorithm>
#include <cmath>

namespace Kiln {
struct ExpansionAccess {
    static double* reserve(Expansion& e, std::size_t n) { return e.reserve(n); }
    static void setCount(Expansion& e, std::size_t n) {
        e.count = n;
        if (n <= Expansion::kLocal && !e.heap.empty()) {
            for (std::size_t i = 0; i < n; ++i)
                e.local[i] = e.heap[i];
            e.heap.clear();
        }
    }
};

namespace {

inline void fastTwoSum(double a, double b, double& sum, double& err) {
    sum = a + b;
    err = b - (sum - a);
}

// Shewchuk's fast-expansion-sum with zero elimination. The inputs are the
// outputs of two-sum, two-product, scale-expansion and this function, all
// strongly non-overlapping, which is what it needs. With `Negate` it sums
// e and -f, sparing a negated copy of f.
template <bool Negate>
std::size_t sumTerms(const double* e, std::size_t elen, const double* fIn, std::size_t flen, double* h) {
    struct Terms {
        const double* t;
        double operator[](std::size_t i) const { return Negate ? -t[i] : t[i]; }
    } const f{fIn};
    if (elen == 0) {
        for (std::size_t i = 0; i < flen; ++i)
            h[i] = f[i];
        return flen;
    }
    if (flen == 0) {
        for (std::size_t i = 0; i < elen; ++i)
            h[i] = e[i];
        return elen;
    }
    std::size_t ei = 0, fi = 0, hi = 0;
    double enow = e[0], fnow = f[0];
    double q, qNew, hh;
    auto takeE = [&]() { return (fnow > enow) == (fnow > -enow); };
    if (takeE()) {
        q = enow;
        ++ei;
    } else {
        q = fnow;
        ++fi;
    }
    if (ei < elen)
        enow = e[ei];
    if (fi < flen)
        fnow = f[fi];
    if (ei < elen && fi < flen) {
        if (takeE()) {
            fastTwoSum(enow, q, qNew, hh);
            if (++ei < elen)
                enow = e[ei];
        } else {
            fastTwoSum(fnow, q, qNew, hh);
            if (++fi < flen)
                fnow = f[fi];
        }
        q = qNew;
        if (hh != 0.0)
            h[hi++] = hh;
        while (ei < elen && fi < flen) {
            if (takeE()) {
                twoSum(q, enow, qNew, hh);
                if (++ei < elen)
                    enow = e[ei];
            } else {
                twoSum(q, fnow, qNew, hh);
                if (++fi < flen)
                    fnow = f[fi];
            }
            q = qNew;
            if (hh != 0.0)
                h[hi++] = hh;
        }
    }
    while (ei < elen) {
        twoSum(q, e[ei++], qNew, hh);
        q = qNew;
        if (hh != 0.0)
            h[hi++] = hh;
    }
    while (fi < flen) {
        twoSum(q, f[fi++], qNew, hh);
        q = qNew;
        if (hh != 0.0)
            h[hi++] = hh;
    }
    if (q != 0.0 || hi == 0)
        h[hi++] = q;
    if (hi == 1 && h[0] == 0.0)
        hi = 0;
    return hi;
}

// Shewchuk's scale-expansion with zero elimination.
std::size_t scaleTerms(const double* e, std::size_t elen, double b, double* h) {
    if (elen == 0 || b == 0.0)
        return 0;
    std::size_t hi = 0;
    double q, err;
    twoProduct(e[0], b, q, err);
    if (err != 0.0)
        h[hi++] = err;
    for (std::size_t i = 1; i < elen; ++i) {
        double product1, product0, sum;
        twoProduct(e[i], b, product1, product0);
        twoSum(q, product0, sum, err);
        if (err != 0.0)
            h[hi++] = err;
        fastTwoSum(product1, sum, q, err);
        if (err != 0.0)
            h[hi++] = err;
    }
    if (q != 0.0 || hi == 0)
        h[hi++] = q;
    if (hi == 1 && h[0] == 0.0)
        hi = 0;
    return hi;
}

// Shewchuk's compress: the same value in fewer terms (usually far fewer
// after a chain of sums), which is what keeps products short. Works in place.
std::size_t compressTerms(const double* e, std::size_t elen, double* h) {
    if (elen == 0)
        return 0;
    std::size_t bottom = elen - 1;
    double q = e[bottom];
    for (std::size_t i = elen - 1; i-- > 0;) {
        double qNew, small;
        fastTwoSum(q, e[i], qNew, small);
        if (small != 0.0) {
            h[bottom--] = qNew;
            q = small;
        } else {
            q = qNew;
        }
    }
    h[bottom] = q;
    std::size_t top = 0;
    for (std::size_t i = bottom + 1; i < elen; ++i) {
        double qNew, small;
        fastTwoSum(h[i], q, qNew, small);
        q = qNew;
        if (small != 0.0)
            h[top++] = small;
    }
    h[top++] = q;
    return top;
}

template <bool Negate>
Expansion sum(const double* e, std::size_t elen, const double* f, std::size_t flen) {
    Expansion r;
    double* out = ExpansionAccess::reserve(r, elen + flen);
    ExpansionAccess::setCount(r, sumTerms<Negate>(e, elen, f, flen, out));
    return r;
}

// Scratch for products: on the stack unless the product is long.
class ProductBuffer {
public:
    explicit ProductBuffer(std::size_t n) {
        if (n > kStack) {
            heap.resize(n);
            terms = heap.data();
        }
    }
    double* data() { return terms; }

private:
    static constexpr std::size_t kStack = 256;
    double stack[kStack];
    std::vector<double> heap;
    double* terms = stack;
};

} // namespace

Expansion Expansion::operator-() const {
    Expansion r = *this;
    double* t = r.heap.empty() ? r.local : r.heap.data();
    for (std::size_t i = 0; i < r.count; ++i)
        t[i] = -t[i];
    return r;
}

Expansion operator+(const Expansion& a, const Expansion& b) {
    return sum<false>(a.data(), a.size(), b.data(), b.size());
}

Expansion operator-(const Expansion& a, const Expansion& b) {
    return sum<true>(a.data(), a.size(), b.data(), b.size());
}

Expansion operator*(const Expansion& a, double b) {
    Expansion r;
    double* out = ExpansionAccess::reserve(r, 2 * a.size());
    ExpansionAccess::setCount(r, scaleTerms(a.data(), a.size(), b, out));
    return r;
}

Expansion operator*(const Expansion& a, const Expansion& b) {
    if (a.size() == 0 || b.size() == 0)
        return Expansion();
    // Both factors compressed first: the product's cost is the product of
    // their lengths.
    ProductBuffer factors(a.size() + b.size());
    double* fa = factors.data();
    double* fb = fa + a.size();
    const std::size_t na = a.size() > 2 ? compressTerms(a.data(), a.size(), fa) : a.size();
    const std::size_t nb = b.size() > 2 ? compressTerms(b.data(), b.size(), fb) : b.size();
    const double* da = a.size() > 2 ? fa : a.data();
    const double* db = b.size() > 2 ? fb : b.data();
    const double* l = na < nb ? db : da;
    const double* s = na < nb ? da : db;
    const std::size_t n = std::max(na, nb), m = std::min(na, nb);
    // Partial sums alternate between two halves of one buffer; each scaled
    // row goes into a third part.
    const std::size_t total = 2 * n * m;
    ProductBuffer buffer(2 * total + 2 * n);
    double* sums[2] = {buffer.data(), buffer.data() + total};
    double* row = buffer.data() + 2 * total;
    std::size_t length = scaleTerms(l, n, s[0], sums[0]);
    int current = 0;
    for (std::size_t i = 1; i < m; ++i) {
        const std::size_t rowLength = scaleTerms(l, n, s[i], row);
        length = sumTerms<false>(sums[current], length, row, rowLength, sums[1 - current]);
        current = 1 - current;
    }
    Expansion r;
    double* out = ExpansionAccess::reserve(r, length);
    for (std::size_t i = 0; i < length; ++i)
        out[i] = sums[current][i];
    ExpansionAccess::setCount(r, length);
    return r;
}

Expansion Expansion::difference(double a, double b) {
    double s, err;
    twoSum(a, -b, s, err);
    Expansion r;
    if (err != 0.0)
        r.local[r.count++] = err;
    if (s != 0.0)
        r.local[r.count++] = s;
    return r;
}

Expansion Expansion::product(double a, double b) {
    double p, err;
    twoProduct(a, b, p, err);
    Expansion r;
    if (err != 0.0)
        r.local[r.count++] = err;
    if (p != 0.0)
        r.local[r.count++] = p;
    return r;
}

Expansion Expansion::determinant2(double a, double b, double c, double d) {
    double left[2], right[2];
    twoProduct(a, d, left[1], left[0]);
    twoProduct(b, c, right[1], right[0]);
    Expansion r;
    r.count = sumTerms<true>(left, 2, right, 2, r.local);
    return r;
}

int signOfDeterminant2(double a, double b, double c, double d) {
    const double left = a * d;
    const double right = b * c;
    const double det = left - right;
    const double bound = 4.0 * 2.220446049250313e-16 * (std::fabs(left) + std::fabs(right));
    if (det > bound)
        return 1;
    if (-det > bound)
        return -1;
    return (Expansion::product(a, d) - Expansion::product(b, c)).sign();
}

namespace {

// The triple product's terms into `terms` (room for 24); returns the count.
std::size_t tripleProductTerms(const double u[3], const double v[3], const double w[3], double* terms) {
    double partial[24], scaled[8];
    std::size_t length = 0;
    for (int k = 0; k < 3; ++k) {
        const int i = (k + 1) % 3, j = (k + 2) % 3;
        double left[2], right[2], cross[4];
        twoProduct(u[i], v[j], left[1], left[0]);
        twoProduct(u[j], v[i], right[1], right[0]);
        const std::size_t crossLength = sumTerms<true>(left, 2, right, 2, cross);
        const std::size_t scaledLength = scaleTerms(cross, crossLength, w[k], scaled);
        length = sumTerms<false>(terms, length, scaled, scaledLength, partial);
        for (std::size_t t = 0; t < length; ++t)
            terms[t] = partial[t];
    }
    return length;
}

} // namespace

int signOfTripleProduct(const double u[3], const double v[3], const double w[3]) {
    double terms[24];
    const std::size_t length = tripleProductTerms(u, v, w, terms);
    if (length == 0)
        return 0;
    return terms[length - 1] > 0.0 ? 1 : (terms[length - 1] < 0.0 ? -1 : 0);
}

Expansion tripleProduct(const double u[3], const double v[3], const double w[3]) {
    Expansion r;
    double* out = ExpansionAccess::reserve(r, 24);
    ExpansionAccess::setCount(r, tripleProductTerms(u, v, w, out));
    return r;
}

} // namespace Kiln
