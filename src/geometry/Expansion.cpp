#include "geometry/Expansion.h"

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
// strongly non-overlapping, which is what it needs.
std::size_t sumTerms(const double* e, std::size_t elen, const double* f, std::size_t flen, double* h) {
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

Expansion sum(const double* e, std::size_t elen, const double* f, std::size_t flen) {
    Expansion r;
    double* out = ExpansionAccess::reserve(r, elen + flen);
    ExpansionAccess::setCount(r, sumTerms(e, elen, f, flen, out));
    return r;
}

} // namespace

Expansion Expansion::operator-() const {
    Expansion r = *this;
    double* t = r.heap.empty() ? r.local : r.heap.data();
    for (std::size_t i = 0; i < r.count; ++i)
        t[i] = -t[i];
    return r;
}

Expansion operator+(const Expansion& a, const Expansion& b) {
    return sum(a.data(), a.size(), b.data(), b.size());
}

Expansion operator-(const Expansion& a, const Expansion& b) {
    return a + (-b);
}

Expansion operator*(const Expansion& a, double b) {
    Expansion r;
    double* out = ExpansionAccess::reserve(r, 2 * a.size());
    ExpansionAccess::setCount(r, scaleTerms(a.data(), a.size(), b, out));
    return r;
}

Expansion operator*(const Expansion& a, const Expansion& b) {
    const Expansion& shorter = a.size() < b.size() ? a : b;
    const Expansion& longer = a.size() < b.size() ? b : a;
    Expansion r;
    const double* s = shorter.data();
    for (std::size_t i = 0; i < shorter.size(); ++i)
        r = r + longer * s[i];
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

} // namespace Kiln
