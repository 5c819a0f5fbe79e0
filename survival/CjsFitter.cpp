#include "survival/CjsFitter.h"

#include <algorithm>
#include <cmath>

namespace kd {

namespace {

// A probability this close to 0 or 1 is reported without an interval.
constexpr double BoundDistance = 1e-6;
// Logits are held within these limits: a parameter that gets there sits at its bound
// (1 - sigmoid(30) is about 1e-13).
constexpr double LogitLimit = 30.0;
constexpr double Z95 = 1.959964;

double sigmoid(double eta)
{
    if (eta >= 0.0)
        return 1.0 / (1.0 + std::exp(-eta));
    const double e = std::exp(eta);
    return e / (1.0 + e);
}

// ln(sigmoid(eta)) without losing the small values.
double logSigmoid(double eta)
{
    return eta >= 0.0 ? -std::log1p(std::exp(-eta)) : eta - std::log1p(std::exp(eta));
}

double logit(double x)
{
    return std::log(x / (1.0 - x));
}

bool atBound(double x)
{
    return x < BoundDistance || x > 1.0 - BoundDistance;
}

// A value with its gradient and Hessian (row-major) in the logits.
struct Jet
{
    double v = 0.0;
    std::vector<double> g;
    std::vector<double> h;
};

// sigmoid(eta[k]) (or 1 - sigmoid(eta[k]) when `complement`), as a jet of dimension n.
Jet parameterJet(int n, int k, double eta, bool complement)
{
    Jet jet;
    jet.g.assign(size_t(n), 0.0);
    jet.h.assign(size_t(n) * size_t(n), 0.0);
    const double x = sigmoid(eta);
    const double d = x * (1.0 - x);
    const double sign = complement ? -1.0 : 1.0;
    jet.v = complement ? sigmoid(-eta) : x;
    jet.g[size_t(k)] = sign * d;
    jet.h[size_t(k) * size_t(n) + size_t(k)] = sign * d * (1.0 - 2.0 * x);
    return jet;
}

Jet product(const Jet& a, const Jet& b)
{
    const size_t n = a.g.size();
    Jet r;
    r.v = a.v * b.v;
    r.g.resize(n);
    r.h.resize(n * n);
    for (size_t i = 0; i < n; ++i)
        r.g[i] = a.g[i] * b.v + b.g[i] * a.v;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            r.h[i * n + j] =
                a.h[i * n + j] * b.v + b.h[i * n + j] * a.v + a.g[i] * b.g[j] + b.g[i] * a.g[j];
    return r;
}

Jet sum(Jet a, const Jet& b)
{
    a.v += b.v;
    for (size_t i = 0; i < a.g.size(); ++i)
        a.g[i] += b.g[i];
    for (size_t i = 0; i < a.h.size(); ++i)
        a.h[i] += b.h[i];
    return a;
}

// In-place Cholesky factor (lower triangle) of a symmetric n×n matrix; false when it is not
// positive definite. `minPivot` receives the smallest squared pivot.
bool cholesky(std::vector<double>& a, int n, double* minPivot = nullptr)
{
    double smallest = INFINITY;
    for (int j = 0; j < n; ++j) {
        double d = a[size_t(j) * n + j];
        for (int k = 0; k < j; ++k)
            d -= a[size_t(j) * n + k] * a[size_t(j) * n + k];
        smallest = std::min(smallest, d);
        if (!(d > 0.0))
            return false;
        const double root = std::sqrt(d);
        a[size_t(j) * n + j] = root;
        for (int i = j + 1; i < n; ++i) {
            double s = a[size_t(i) * n + j];
            for (int k = 0; k < j; ++k)
                s -= a[size_t(i) * n + k] * a[size_t(j) * n + k];
            a[size_t(i) * n + j] = s / root;
        }
    }
    if (minPivot)
        *minPivot = smallest;
    return true;
}

void choleskySolve(const std::vector<double>& l, int n, std::vector<double>& b)
{
    for (int i = 0; i < n; ++i) {
        double s = b[size_t(i)];
        for (int k = 0; k < i; ++k)
            s -= l[size_t(i) * n + k] * b[size_t(k)];
        b[size_t(i)] = s / l[size_t(i) * n + i];
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = b[size_t(i)];
        for (int k = i + 1; k < n; ++k)
            s -= l[size_t(k) * n + i] * b[size_t(k)];
        b[size_t(i)] = s / l[size_t(i) * n + i];
    }
}

// ln L of phi(t) p(t) as a function of the logits of the identifiable parameters: phi_1 ..
// phi_{K-2}, p_2 .. p_{K-1}, beta (occasions counted from 1 here; from 0 in the code). Each
// m-array cell is a product of single-parameter factors, so the cells add up to counts of
// ln x and ln(1 - x) per parameter; only the terms of the animals never caught again, through
// chi_i = (1 - phi_i) + phi_i (1 - p_{i+1}) chi_{i+1}, need the recursion.
class Likelihood
{
public:
    explicit Likelihood(const CjsMArray& m) : k_(m.occasions), n_(2 * m.occasions - 3)
    {
        ones_.assign(size_t(n_), 0.0);
        zeros_.assign(size_t(n_), 0.0);
        never_.assign(size_t(k_ - 1), 0.0);
        for (int i = 0; i < k_ - 1; ++i) {
            double caught = 0.0;
            for (int j = i + 1; j < k_; ++j) {
                const double count = double(m.next[size_t(i)][size_t(j)]);
                if (count == 0.0)
                    continue;
                caught += count;
                for (int t = i; t <= std::min(j - 1, k_ - 3); ++t)
                    ones_[size_t(phi(t))] += count;
                for (int t = i + 1; t <= j - 1; ++t)
                    zeros_[size_t(p(t))] += count;
                ones_[size_t(j <= k_ - 2 ? p(j) : beta())] += count;
            }
            never_[size_t(i)] = std::max(0.0, double(m.released[size_t(i)]) - caught);
        }
    }

    int dimension() const { return n_; }
    int phi(int t) const { return t; }
    int p(int t) const { return k_ - 2 + t - 1; }
    int beta() const { return 2 * k_ - 4; }

    double value(const std::vector<double>& eta) const
    {
        double f = 0.0;
        for (int k = 0; k < n_; ++k)
            f += ones_[size_t(k)] * logSigmoid(eta[size_t(k)]) +
                 zeros_[size_t(k)] * logSigmoid(-eta[size_t(k)]);
        double chi = sigmoid(-eta[size_t(beta())]);
        for (int i = k_ - 2; i >= 0; --i) {
            if (i < k_ - 2)
                chi = sigmoid(-eta[size_t(phi(i))]) +
                      sigmoid(eta[size_t(phi(i))]) * sigmoid(-eta[size_t(p(i + 1))]) * chi;
            if (never_[size_t(i)] > 0.0)
                f += never_[size_t(i)] * std::log(chi);
        }
        return f;
    }

    // ln L with its gradient and Hessian (row-major).
    double evaluate(const std::vector<double>& eta, std::vector<double>& g,
                    std::vector<double>& h) const
    {
        const size_t n = size_t(n_);
        g.assign(n, 0.0);
        h.assign(n * n, 0.0);
        double f = 0.0;
        for (size_t k = 0; k < n; ++k) {
            const double x = sigmoid(eta[k]);
            f += ones_[k] * logSigmoid(eta[k]) + zeros_[k] * logSigmoid(-eta[k]);
            g[k] += ones_[k] * (1.0 - x) - zeros_[k] * x;
            h[k * n + k] -= (ones_[k] + zeros_[k]) * x * (1.0 - x);
        }
        Jet chi = parameterJet(n_, beta(), eta[size_t(beta())], true);
        for (int i = k_ - 2; i >= 0; --i) {
            if (i < k_ - 2) {
                const int s = phi(i);
                const int d = p(i + 1);
                const Jet survives = product(parameterJet(n_, s, eta[size_t(s)], false),
                                             parameterJet(n_, d, eta[size_t(d)], true));
                chi = sum(parameterJet(n_, s, eta[size_t(s)], true), product(survives, chi));
            }
            const double u = never_[size_t(i)];
            if (u <= 0.0)
                continue;
            f += u * std::log(chi.v);
            for (size_t a = 0; a < n; ++a) {
                g[a] += u * chi.g[a] / chi.v;
                for (size_t b = 0; b < n; ++b)
                    h[a * n + b] +=
                        u * (chi.h[a * n + b] / chi.v - chi.g[a] * chi.g[b] / (chi.v * chi.v));
            }
        }
        return f;
    }

private:
    int k_;
    int n_;
    std::vector<double> ones_;  // per parameter: the count of ln x terms
    std::vector<double> zeros_; // per parameter: the count of ln(1 - x) terms
    std::vector<double> never_; // per release occasion: released and never caught again
};

// The closed-form Jolly-Seber estimates with losses on capture, moved into [0.01, 0.99] so
// that Newton's method starts inside.
std::vector<double> jollySeberStart(const CjsMArray& m, const Likelihood& likelihood)
{
    const int k = m.occasions;
    const auto at = [&m](int i, int j) { return double(m.next[size_t(i)][size_t(j)]); };
    std::vector<double> marked(static_cast<size_t>(k), 0.0); // M_t: marked animals alive at t
    std::vector<double> caught(static_cast<size_t>(k), 0.0); // m_t: marked animals caught at t
    std::vector<double> later(static_cast<size_t>(k), 0.0);  // r_t: released at t and caught again
    for (int t = 0; t < k - 1; ++t)
        for (int j = t + 1; j < k; ++j) {
            later[size_t(t)] += at(t, j);
            caught[size_t(j)] += at(t, j);
        }
    for (int t = 1; t <= k - 2; ++t) {
        double missed = 0.0; // z_t: caught before and after t but not at t
        for (int h = 0; h < t; ++h)
            for (int j = t + 1; j < k; ++j)
                missed += at(h, j);
        marked[size_t(t)] =
            caught[size_t(t)] + double(m.released[size_t(t)]) * missed / later[size_t(t)];
    }
    const auto start = [](double x) {
        if (!std::isfinite(x))
            x = 0.5;
        return logit(std::clamp(x, 0.01, 0.99));
    };
    std::vector<double> eta(size_t(likelihood.dimension()));
    for (int t = 0; t <= k - 3; ++t)
        eta[size_t(likelihood.phi(t))] =
            start(marked[size_t(t + 1)] /
                  (marked[size_t(t)] - caught[size_t(t)] + double(m.released[size_t(t)])));
    for (int t = 1; t <= k - 2; ++t)
        eta[size_t(likelihood.p(t))] = start(caught[size_t(t)] / marked[size_t(t)]);
    eta[size_t(likelihood.beta())] =
        start(later[size_t(k - 2)] / double(m.released[size_t(k - 2)]));
    return eta;
}

struct Solution
{
    std::vector<double> eta;
    double logLikelihood = -INFINITY;
    std::vector<double> gradient;
    std::vector<double> hessian;
    int iterations = 0;
    bool converged = false;
};

Solution maximise(const Likelihood& likelihood, std::vector<double> eta, int maxIterations)
{
    const int n = likelihood.dimension();
    Solution s;
    double f = likelihood.evaluate(eta, s.gradient, s.hessian);
    for (s.iterations = 0; s.iterations < maxIterations; ++s.iterations) {
        const std::vector<double>& g = s.gradient;
        // A logit held at its limit stays there while the slope pushes it outwards.
        std::vector<int> moving;
        for (int k = 0; k < n; ++k) {
            const double e = eta[size_t(k)];
            if (!((e >= LogitLimit && g[size_t(k)] >= 0.0) ||
                  (e <= -LogitLimit && g[size_t(k)] <= 0.0)))
                moving.push_back(k);
        }
        const int m = int(moving.size());
        if (m == 0) {
            s.converged = true;
            break;
        }
        std::vector<double> info(size_t(m) * m);
        double largest = 0.0;
        for (int a = 0; a < m; ++a)
            for (int b = 0; b < m; ++b) {
                info[size_t(a) * m + b] =
                    -s.hessian[size_t(moving[size_t(a)]) * n + moving[size_t(b)]];
                if (a == b)
                    largest = std::max(largest, std::abs(info[size_t(a) * m + a]));
            }
        // Where the surface is not concave the step is damped towards the gradient.
        double damping = 0.0;
        std::vector<double> factor;
        bool factored = false;
        for (int attempt = 0; attempt < 40 && !factored; ++attempt) {
            factor = info;
            for (int a = 0; a < m; ++a)
                factor[size_t(a) * m + a] += damping;
            factored = cholesky(factor, m);
            if (!factored)
                damping = damping == 0.0 ? 1e-10 * std::max(largest, 1.0) : damping * 10.0;
        }
        // Only a surface that is not a number gets here.
        if (!factored)
            break;
        std::vector<double> step(static_cast<size_t>(m));
        for (int a = 0; a < m; ++a)
            step[size_t(a)] = g[size_t(moving[size_t(a)])];
        choleskySolve(factor, m, step);
        double decrement = 0.0;
        double longest = 0.0;
        for (int a = 0; a < m; ++a) {
            decrement += g[size_t(moving[size_t(a)])] * step[size_t(a)];
            longest = std::max(longest, std::abs(step[size_t(a)]));
        }
        // A flat ridge (a parameter without information) needs only a token of damping; it is
        // a maximum all the same, and the singular information then says what it is worth.
        const bool concave = damping <= 1e-8 * std::max(largest, 1.0);
        const double tolerance = 1e-12 * (1.0 + std::abs(f));
        if (concave && decrement < tolerance) {
            s.converged = true;
            break;
        }
        if (longest > 5.0)
            for (double& x : step)
                x *= 5.0 / longest;

        // Step halving until ln L does not fall.
        bool accepted = false;
        std::vector<double> trial = eta;
        double t = 1.0;
        for (int halving = 0; halving < 60 && !accepted; ++halving, t *= 0.5) {
            for (int a = 0; a < m; ++a) {
                const size_t k = size_t(moving[size_t(a)]);
                trial[k] = std::clamp(eta[k] + t * step[size_t(a)], -LogitLimit, LogitLimit);
            }
            const double ft = likelihood.value(trial);
            if (ft >= f) {
                accepted = true;
                eta = trial;
                f = ft;
            }
        }
        if (!accepted) {
            // No representable gain is left; that is convergence only with a tiny decrement.
            s.converged = concave && decrement < 1e4 * tolerance;
            break;
        }
        // A parameter running to 0 or 1 gains about one logit unit per step; send it to its
        // limit at once when that does not lower ln L.
        std::vector<double> jump = eta;
        bool jumped = false;
        for (int a = 0; a < m; ++a) {
            const size_t k = size_t(moving[size_t(a)]);
            if (std::abs(eta[k]) > 10.0 && std::abs(eta[k]) < LogitLimit &&
                (eta[k] > 0.0) == (step[size_t(a)] > 0.0)) {
                jump[k] = eta[k] > 0.0 ? LogitLimit : -LogitLimit;
                jumped = true;
            }
        }
        if (jumped) {
            const double fj = likelihood.value(jump);
            if (fj >= f) {
                eta = jump;
                f = fj;
            }
        }
        f = likelihood.evaluate(eta, s.gradient, s.hessian);
    }
    s.eta = eta;
    s.logLikelihood = f;
    return s;
}

} // namespace

CjsMArray CjsFitter::mArray(int occasions, const std::vector<CaptureHistory>& histories)
{
    CjsMArray m;
    m.occasions = std::max(occasions, 0);
    const size_t k = size_t(m.occasions);
    m.released.assign(k > 0 ? k - 1 : 0, 0);
    m.next.assign(k > 0 ? k - 1 : 0, std::vector<long long>(k, 0));
    std::vector<int> captures;
    for (const CaptureHistory& history : histories) {
        captures.clear();
        for (size_t t = 0; t < std::min(k, history.occasions.size()); ++t)
            if (history.occasions[t] != 0)
                captures.push_back(int(t));
        if (captures.empty())
            continue;
        ++m.animals;
        if (history.removedAtLastCapture)
            ++m.removed;
        for (size_t c = 0; c < captures.size(); ++c) {
            const bool last = c + 1 == captures.size();
            const size_t t = size_t(captures[c]);
            // Removed animals are not released; a release at the last occasion tells nothing.
            if ((last && history.removedAtLastCapture) || t + 1 >= k)
                continue;
            ++m.released[t];
            if (!last)
                ++m.next[t][size_t(captures[c + 1])];
        }
    }
    return m;
}

CjsFit CjsFitter::fit(int occasions, const std::vector<CaptureHistory>& histories) const
{
    return fit(mArray(occasions, histories));
}

void CjsFitter::setInterval(CjsEstimate& estimate, double se)
{
    const double x = estimate.value;
    const double half = Z95 * se / (x * (1.0 - x));
    estimate.hasInterval = true;
    estimate.se = se;
    estimate.lcl = sigmoid(logit(x) - half);
    estimate.ucl = sigmoid(logit(x) + half);
}

CjsFit CjsFitter::fit(const CjsMArray& m) const
{
    CjsFit result;
    result.occasions = m.occasions;
    result.animals = m.animals;
    result.removed = m.removed;
    const int k = m.occasions;
    if (k < 2)
        return result;
    result.phi.resize(size_t(k - 2));
    result.p.resize(size_t(k - 2));
    result.cumulativeSurvival.resize(size_t(k - 2));
    if (m.recaptures() == 0) {
        result.singular = true;
        return result;
    }

    const Likelihood likelihood(m);
    const int n = likelihood.dimension();
    const std::vector<double> neutral(static_cast<size_t>(n), 0.0);
    Solution best =
        maximise(likelihood, options_.closedFormStart ? jollySeberStart(m, likelihood) : neutral,
                 options_.maxIterations);
    if (!best.converged && options_.closedFormStart) {
        Solution other = maximise(likelihood, neutral, options_.maxIterations);
        if (other.converged || other.logLikelihood > best.logLikelihood)
            best = std::move(other);
    }

    std::vector<double> x(static_cast<size_t>(n));
    std::vector<bool> bounded(static_cast<size_t>(n));
    for (int a = 0; a < n; ++a) {
        x[size_t(a)] = sigmoid(best.eta[size_t(a)]);
        bounded[size_t(a)] = atBound(x[size_t(a)]);
    }
    result.converged = best.converged;
    result.iterations = best.iterations;
    result.minus2LnL = -2.0 * best.logLikelihood;
    result.parameters = int(std::count(bounded.begin(), bounded.end(), false));

    // Observed information of the parameters away from their bounds, tested on its correlation
    // form so that the scale of each parameter does not matter.
    std::vector<int> inside;
    for (int a = 0; a < n; ++a)
        if (!bounded[size_t(a)])
            inside.push_back(a);
    const int q = int(inside.size());
    std::vector<double> info(size_t(q) * q);
    std::vector<double> scale(static_cast<size_t>(q));
    double largest = 0.0;
    for (int a = 0; a < q; ++a) {
        for (int b = 0; b < q; ++b)
            info[size_t(a) * q + b] =
                -best.hessian[size_t(inside[size_t(a)]) * n + inside[size_t(b)]];
        largest = std::max(largest, info[size_t(a) * q + a]);
    }
    for (int a = 0; a < q && !result.singular; ++a) {
        const double d = info[size_t(a) * q + a];
        if (!(d > 1e-9 * largest))
            result.singular = true;
        else
            scale[size_t(a)] = std::sqrt(d);
    }
    std::vector<double> factor = info;
    if (!result.singular) {
        for (int a = 0; a < q; ++a)
            for (int b = 0; b < q; ++b)
                factor[size_t(a) * q + b] /= scale[size_t(a)] * scale[size_t(b)];
        double minPivot = 0.0;
        result.singular = !cholesky(factor, q, &minPivot) || minPivot < 1e-12;
    }

    std::vector<CjsEstimate> estimates(static_cast<size_t>(n));
    for (int a = 0; a < n; ++a)
        estimates[size_t(a)].value = x[size_t(a)];
    if (result.hasIntervals()) {
        // Inverse information on the logit scale, then the delta method to probabilities.
        result.covariance.assign(size_t(n) * n, 0.0);
        for (int b = 0; b < q; ++b) {
            std::vector<double> column(static_cast<size_t>(q), 0.0);
            column[size_t(b)] = 1.0;
            choleskySolve(factor, q, column);
            for (int a = 0; a < q; ++a) {
                const int i = inside[size_t(a)];
                const int j = inside[size_t(b)];
                const double dx = x[size_t(i)] * (1.0 - x[size_t(i)]);
                const double dy = x[size_t(j)] * (1.0 - x[size_t(j)]);
                result.covariance[size_t(i) * n + j] =
                    dx * dy * column[size_t(a)] / (scale[size_t(a)] * scale[size_t(b)]);
            }
        }
        for (const int a : inside)
            setInterval(estimates[size_t(a)], std::sqrt(result.covariance[size_t(a) * n + a]));
    }
    for (int t = 0; t <= k - 3; ++t) {
        result.phi[size_t(t)] = estimates[size_t(likelihood.phi(t))];
        result.p[size_t(t)] = estimates[size_t(likelihood.p(t + 1))];
    }
    result.beta = estimates[size_t(likelihood.beta())];

    // Cumulative survival: the gradient of a product of phi is the product of the others.
    for (int i = 0; i <= k - 3; ++i) {
        CjsEstimate& s = result.cumulativeSurvival[size_t(i)];
        s.value = 1.0;
        for (int t = 0; t <= i; ++t)
            s.value *= x[size_t(likelihood.phi(t))];
        if (!result.hasIntervals() || atBound(s.value))
            continue;
        std::vector<double> gradient(size_t(i) + 1, 1.0);
        for (int t = 0; t <= i; ++t)
            for (int u = 0; u <= i; ++u)
                if (u != t)
                    gradient[size_t(t)] *= x[size_t(likelihood.phi(u))];
        double variance = 0.0;
        for (int t = 0; t <= i; ++t)
            for (int u = 0; u <= i; ++u)
                variance += gradient[size_t(t)] * gradient[size_t(u)] *
                            result.covariance[size_t(likelihood.phi(t)) * n + likelihood.phi(u)];
        setInterval(s, std::sqrt(std::max(variance, 0.0)));
    }
    return result;
}

} // namespace kd
