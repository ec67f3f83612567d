#include "geometry/Expansion.h"

#include <cmath>

namespace Kiln {
namespace {

// Adds one double to an expansion (Shewchuk's grow-expansion with zero
// elimination). Needs only a non-overlapping input and keeps the output
// non-overlapping, which is all the sign test relies on.
void growTerms(std::vector<double>& h, const std::vector<double>& e, double b) {
    h.clear();
    double q = b;
    for (const double term : e) {
        double sum, err;
        twoSum(q, term, sum, err);
        if (err != 0.0)
            h.push_back(err);
        q = sum;
    }
    if (q != 0.0)
        h.push_back(q);
}

std::vector<double> sumTerms(const std::vector<double>& e, const std::vector<double>& f) {
    if (e.empty())
        return f;
    if (f.empty())
        return e;
    const std::vector<double>& longer = e.size() >= f.size() ? e : f;
    const std::vector<double>& shorter = e.size() >= f.size() ? f : e;
    std::vector<double> h = longer;
    std::vector<double> scratch;
    scratch.reserve(longer.size() + shorter.size());
    h.reserve(longer.size() + shorter.size());
    for (const double b : shorter) {
        growTerms(scratch, h, b);
        h.swap(scratch);
    }
    return h;
}

std::vector<double> scaleTerms(const std::vector<double>& e, double b) {
    std::vector<double> h;
    if (e.empty() || b == 0.0)
        return h;
    h.reserve(2 * e.size());
    double q, err;
    twoProduct(e[0], b, q, err);
    if (err != 0.0)
        h.push_back(err);
    for (std::size_t i = 1; i < e.size(); ++i) {
        double product1, product0;
        twoProduct(e[i], b, product1, product0);
        double sum, sumErr;
        twoSum(q, product0, sum, sumErr);
        if (sumErr != 0.0)
            h.push_back(sumErr);
        // product1 dominates sum, so a fast two-sum would do; keep the
        // general one for clarity.
        twoSum(product1, sum, q, sumErr);
        if (sumErr != 0.0)
            h.push_back(sumErr);
    }
    if (q != 0.0)
        h.push_back(q);
    return h;
}

} // namespace

Expansion Expansion::operator-() const {
    Expansion r = *this;
    for (double& t : r.terms)
        t = -t;
    return r;
}

Expansion operator+(const Expansion& a, const Expansion& b) {
    Expansion r;
    r.terms = sumTerms(a.terms, b.terms);
    return r;
}

Expansion operator-(const Expansion& a, const Expansion& b) {
    return a + (-b);
}

Expansion operator*(const Expansion& a, double b) {
    Expansion r;
    r.terms = scaleTerms(a.terms, b);
    return r;
}

Expansion operator*(const Expansion& a, const Expansion& b) {
    const Expansion& shorter = a.size() < b.size() ? a : b;
    const Expansion& longer = a.size() < b.size() ? b : a;
    Expansion r;
    for (const double t : shorter.terms)
        r.terms = sumTerms(r.terms, scaleTerms(longer.terms, t));
    return r;
}

Expansion Expansion::difference(double a, double b) {
    double sum, err;
    twoSum(a, -b, sum, err);
    Expansion r;
    if (err != 0.0)
        r.terms.push_back(err);
    if (sum != 0.0)
        r.terms.push_back(sum);
    return r;
}

Expansion Expansion::product(double a, double b) {
    double p, err;
    twoProduct(a, b, p, err);
    Expansion r;
    if (err != 0.0)
        r.terms.push_back(err);
    if (p != 0.0)
        r.terms.push_back(p);
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
