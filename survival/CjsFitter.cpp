#include "survival/CjsFitter.h"

#include "survival/CjsDesign.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kd {

namespace {

// A probability this close to 0 or 1 is reported without a standard error.
constexpr double BoundDistance = 1e-6;
// Logits are held within these limits: a parameter that gets there sits at its bound
// (1 - sigmoid(30) is about 1e-13).
constexpr double LogitLimit = 30.0;
constexpr double Z95 = 1.959964;
// The 95% point of chi-square with one degree of freedom.
constexpr double Chi95 = 3.8415;

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

// A probability of the model: a fitted parameter or a value held fixed.
struct Real
{
    int index = -1;
    double fixed = 1.0;
};

// ln L of a design as a function of the logits of its parameters. Each m-array cell is a product
// of single-probability factors, so the cells add up to counts of ln x and ln(1 - x) per
// parameter; only the terms of the animals never caught again, through
// chi_i = (1 - phi_i) + phi_i (1 - p_{i+1}) chi_{i+1}, need the recursion. An animal removed
// uncaught at j adds the factors of its survival to j and of its misses at i + 1 .. j.
class Likelihood
{
public:
    Likelihood(const CjsMArray& m, const CjsDesign& design) : k_(m.occasions), n_(design.parameters)
    {
        for (int t = 0; t + 1 < k_; ++t)
            phi_.push_back({design.phi[size_t(t)], design.phiFixed[size_t(t)]});
        for (int t = 0; t < k_; ++t) {
            p_.push_back({design.p[size_t(t)], design.pFixed[size_t(t)]});
            r_.push_back({design.r.empty() ? -1 : design.r[size_t(t)],
                          design.r.empty() ? 0.0 : design.rFixed[size_t(t)]});
        }
        ones_.assign(size_t(n_), 0.0);
        zeros_.assign(size_t(n_), 0.0);
        never_.assign(size_t(k_ - 1), 0.0);
        for (int i = 0; i < k_ - 1; ++i) {
            double gone = 0.0;
            for (int j = i + 1; j < k_; ++j) {
                const double count = double(m.next[size_t(i)][size_t(j)]);
                if (count != 0.0) {
                    gone += count;
                    for (int t = i; t <= j - 1; ++t)
                        add(phi_[size_t(t)], count, true);
                    for (int t = i + 1; t <= j - 1; ++t) {
                        add(p_[size_t(t)], count, false);
                        add(r_[size_t(t)], count, false);
                    }
                    add(p_[size_t(j)], count, true);
                }
                const double removed =
                    m.removedAt.empty() ? 0.0 : double(m.removedAt[size_t(i)][size_t(j)]);
                if (removed != 0.0) {
                    gone += removed;
                    for (int t = i; t <= j - 1; ++t)
                        add(phi_[size_t(t)], removed, true);
                    for (int t = i + 1; t <= j; ++t)
                        add(p_[size_t(t)], removed, false);
                    for (int t = i + 1; t <= j - 1; ++t)
                        add(r_[size_t(t)], removed, false);
                    add(r_[size_t(j)], removed, true);
                }
            }
            never_[size_t(i)] = std::max(0.0, double(m.released[size_t(i)]) - gone);
        }
        // Animals caught and kept or caught and removed tell the removal probabilities.
        for (int t = 1; t < k_ && !m.kept.empty(); ++t) {
            if (r_[size_t(t)].index < 0)
                continue;
            add(r_[size_t(t)], double(m.kept[size_t(t)]), false);
            add(r_[size_t(t)], double(m.removedCaught[size_t(t)]), true);
        }
    }

    int dimension() const { return n_; }
    const Real& r(int t) const { return r_[size_t(t)]; }
    const Real& phi(int t) const { return phi_[size_t(t)]; }
    const Real& p(int t) const { return p_[size_t(t)]; }

    double value(const std::vector<double>& eta) const
    {
        double f = constant_;
        for (int k = 0; k < n_; ++k)
            f += ones_[size_t(k)] * logSigmoid(eta[size_t(k)]) +
                 zeros_[size_t(k)] * logSigmoid(-eta[size_t(k)]);
        double chi = 1.0;
        for (int i = k_ - 2; i >= 0; --i) {
            const Real& s = phi_[size_t(i)];
            const Real& d = p_[size_t(i + 1)];
            const Real& stays = r_[size_t(i + 1)];
            if (d.index < 0 && d.fixed == 1.0)
                chi = probability(s, eta, true);
            else if (stays.index < 0 && stays.fixed == 0.0)
                chi = probability(s, eta, true) +
                      probability(s, eta, false) * probability(d, eta, true) * chi;
            else
                chi = probability(s, eta, true) + probability(s, eta, false) *
                                                      probability(d, eta, true) *
                                                      probability(stays, eta, true) * chi;
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
        double f = constant_;
        for (size_t k = 0; k < n; ++k) {
            const double x = sigmoid(eta[k]);
            f += ones_[k] * logSigmoid(eta[k]) + zeros_[k] * logSigmoid(-eta[k]);
            g[k] += ones_[k] * (1.0 - x) - zeros_[k] * x;
            h[k * n + k] -= (ones_[k] + zeros_[k]) * x * (1.0 - x);
        }
        Jet chi = constantJet(n_, 1.0);
        for (int i = k_ - 2; i >= 0; --i) {
            const Real& s = phi_[size_t(i)];
            const Real& d = p_[size_t(i + 1)];
            const Real& stays = r_[size_t(i + 1)];
            if (d.index < 0 && d.fixed == 1.0) {
                chi = jet(s, eta, true);
            } else {
                Jet survives = product(jet(s, eta, false), jet(d, eta, true));
                if (!(stays.index < 0 && stays.fixed == 0.0))
                    survives = product(survives, jet(stays, eta, true));
                chi = sum(jet(s, eta, true), product(survives, chi));
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
    void add(const Real& real, double count, bool one)
    {
        if (count == 0.0)
            return;
        if (real.index >= 0) {
            (one ? ones_ : zeros_)[size_t(real.index)] += count;
            return;
        }
        constant_ += count * std::log(one ? real.fixed : 1.0 - real.fixed);
    }
    static double probability(const Real& real, const std::vector<double>& eta, bool complement)
    {
        if (real.index < 0)
            return complement ? 1.0 - real.fixed : real.fixed;
        const double e = eta[size_t(real.index)];
        return complement ? sigmoid(-e) : sigmoid(e);
    }
    static Jet constantJet(int n, double value)
    {
        Jet jet;
        jet.v = value;
        jet.g.assign(size_t(n), 0.0);
        jet.h.assign(size_t(n) * size_t(n), 0.0);
        return jet;
    }
    Jet jet(const Real& real, const std::vector<double>& eta, bool complement) const
    {
        if (real.index < 0)
            return constantJet(n_, complement ? 1.0 - real.fixed : real.fixed);
        return parameterJet(n_, real.index, eta[size_t(real.index)], complement);
    }

    int k_;
    int n_;
    std::vector<Real> phi_;     // per reach t = 0 .. K - 2
    std::vector<Real> p_;       // per occasion t = 0 .. K - 1 (p_[0] unused)
    std::vector<Real> r_;       // per occasion: removal of an animal alive there
    double constant_ = 0.0;     // the terms of probabilities held fixed
    std::vector<double> ones_;  // per parameter: the count of ln x terms
    std::vector<double> zeros_; // per parameter: the count of ln(1 - x) terms
    std::vector<double> never_; // per release occasion: released and never caught again
};

// The closed-form Jolly-Seber estimates with losses on capture, moved into [0.01, 0.99] so
// that Newton's method starts inside. Animals removed uncaught are left out of them: a start
// needs to be near, not exact.
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
    std::vector<double> eta(size_t(likelihood.dimension()), 0.0);
    const auto set = [&eta](const Real& real, double value) {
        if (real.index >= 0)
            eta[size_t(real.index)] = value;
    };
    for (int t = 0; t <= k - 3; ++t)
        set(likelihood.phi(t),
            start(marked[size_t(t + 1)] /
                  (marked[size_t(t)] - caught[size_t(t)] + double(m.released[size_t(t)]))));
    for (int t = 1; t <= k - 2; ++t)
        set(likelihood.p(t), start(caught[size_t(t)] / marked[size_t(t)]));
    set(likelihood.phi(k - 2), start(later[size_t(k - 2)] / double(m.released[size_t(k - 2)])));
    for (int t = 1; t < k && !m.kept.empty(); ++t) {
        double removed = double(m.removedCaught[size_t(t)]);
        for (int i = 0; i < t; ++i)
            removed += double(m.removedAt[size_t(i)][size_t(t)]);
        set(likelihood.r(t), start(removed / (removed + double(m.kept[size_t(t)]))));
    }
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

// The parameters free to move: a logit held at its limit stays there while the slope pushes
// it outwards.
std::vector<int> movingParameters(const std::vector<double>& eta, const std::vector<double>& g)
{
    std::vector<int> moving;
    for (int k = 0; k < int(eta.size()); ++k) {
        const double e = eta[size_t(k)];
        if (!((e >= LogitLimit && g[size_t(k)] >= 0.0) ||
              (e <= -LogitLimit && g[size_t(k)] <= 0.0)))
            moving.push_back(k);
    }
    return moving;
}

// Newton's step in the moving parameters, with its decrement and longest component.
struct NewtonStep
{
    std::vector<double> step;
    double decrement = 0.0;
    double longest = 0.0;
    // Whether the surface was concave there (at most a token of damping).
    bool concave = false;
};

// The step from the gradient and Hessian; where the surface is not concave the step is damped
// towards the gradient. False only when the surface is not a number.
bool newtonStep(const std::vector<double>& g, const std::vector<double>& hessian, int n,
                const std::vector<int>& moving, NewtonStep& out)
{
    const int m = int(moving.size());
    std::vector<double> info(size_t(m) * m);
    double largest = 0.0;
    for (int a = 0; a < m; ++a)
        for (int b = 0; b < m; ++b) {
            info[size_t(a) * m + b] = -hessian[size_t(moving[size_t(a)]) * n + moving[size_t(b)]];
            if (a == b)
                largest = std::max(largest, std::abs(info[size_t(a) * m + a]));
        }
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
    if (!factored)
        return false;
    out.step.assign(static_cast<size_t>(m), 0.0);
    for (int a = 0; a < m; ++a)
        out.step[size_t(a)] = g[size_t(moving[size_t(a)])];
    choleskySolve(factor, m, out.step);
    out.decrement = 0.0;
    out.longest = 0.0;
    for (int a = 0; a < m; ++a) {
        out.decrement += g[size_t(moving[size_t(a)])] * out.step[size_t(a)];
        out.longest = std::max(out.longest, std::abs(out.step[size_t(a)]));
    }
    // A flat ridge (a parameter without information) needs only a token of damping; it is
    // a maximum all the same, and the singular information then says what it is worth.
    out.concave = damping <= 1e-8 * std::max(largest, 1.0);
    return true;
}

// Step halving until ln L does not fall; false when no representable gain is left.
bool halvedStep(const Likelihood& likelihood, const std::vector<int>& moving,
                const std::vector<double>& step, std::vector<double>& eta, double& f)
{
    std::vector<double> trial = eta;
    double t = 1.0;
    for (int halving = 0; halving < 60; ++halving, t *= 0.5) {
        for (size_t a = 0; a < moving.size(); ++a) {
            const size_t k = size_t(moving[a]);
            trial[k] = std::clamp(eta[k] + t * step[a], -LogitLimit, LogitLimit);
        }
        const double ft = likelihood.value(trial);
        if (ft >= f) {
            eta = trial;
            f = ft;
            return true;
        }
    }
    return false;
}

// A parameter running to 0 or 1 gains about one logit unit per step; it is sent to its limit
// at once when that does not lower ln L.
void jumpToLimits(const Likelihood& likelihood, const std::vector<int>& moving,
                  const std::vector<double>& step, std::vector<double>& eta, double& f)
{
    std::vector<double> jump = eta;
    bool jumped = false;
    for (size_t a = 0; a < moving.size(); ++a) {
        const size_t k = size_t(moving[a]);
        if (std::abs(eta[k]) > 10.0 && std::abs(eta[k]) < LogitLimit &&
            (eta[k] > 0.0) == (step[a] > 0.0)) {
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
}

Solution maximise(const Likelihood& likelihood, std::vector<double> eta, int maxIterations,
                  double relativeTolerance = 1e-12)
{
    const int n = likelihood.dimension();
    Solution s;
    double f = likelihood.evaluate(eta, s.gradient, s.hessian);
    for (s.iterations = 0; s.iterations < maxIterations; ++s.iterations) {
        const std::vector<int> moving = movingParameters(eta, s.gradient);
        if (moving.empty()) {
            s.converged = true;
            break;
        }
        NewtonStep newton;
        // Only a surface that is not a number fails here.
        if (!newtonStep(s.gradient, s.hessian, n, moving, newton))
            break;
        const double tolerance = relativeTolerance * (1.0 + std::abs(f));
        if (newton.concave && newton.decrement < tolerance) {
            s.converged = true;
            break;
        }
        if (newton.longest > 5.0)
            for (double& x : newton.step)
                x *= 5.0 / newton.longest;
        if (!halvedStep(likelihood, moving, newton.step, eta, f)) {
            // No representable gain is left; that is convergence only with a tiny decrement.
            s.converged = newton.concave && newton.decrement < 1e4 * tolerance;
            break;
        }
        jumpToLimits(likelihood, moving, newton.step, eta, f);
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
    m.removedAt.assign(k > 0 ? k - 1 : 0, std::vector<long long>(k, 0));
    m.kept.assign(k, 0);
    m.removedCaught.assign(k, 0);
    std::vector<int> captures;
    for (const CaptureHistory& history : histories) {
        // Nothing after a removal belongs to the study.
        const int removal =
            history.removalOccasion >= 0 ? std::min(history.removalOccasion, int(k) - 1) : -1;
        const size_t end = removal >= 0 ? size_t(removal) + 1 : k;
        captures.clear();
        for (size_t t = 0; t < std::min(end, history.occasions.size()); ++t)
            if (history.occasions[t] != 0)
                captures.push_back(int(t));
        if (captures.empty())
            continue;
        ++m.animals;
        const bool removedAtCapture =
            removal >= 0 ? captures.back() == removal : history.removedAtLastCapture;
        if (removedAtCapture)
            ++m.removed;
        if (removal >= 0 && removedAtCapture)
            ++m.removedCaught[size_t(removal)];
        for (size_t c = 0; c < captures.size(); ++c) {
            const bool last = c + 1 == captures.size();
            const size_t t = size_t(captures[c]);
            if (!(last && removedAtCapture))
                ++m.kept[t];
            // Removed animals are not released; a release at the last occasion tells nothing.
            if ((last && removedAtCapture) || t + 1 >= k)
                continue;
            ++m.released[t];
            if (!last)
                ++m.next[t][size_t(captures[c + 1])];
            else if (removal >= 0)
                ++m.removedAt[t][size_t(removal)];
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
    estimate.withSe = true;
    estimate.lcl = sigmoid(logit(x) - half);
    estimate.ucl = sigmoid(logit(x) + half);
}

CjsDesign CjsFitter::design(const CjsMArray& m)
{
    // Only an animal known alive at the last occasion and not seen there separates the last
    // survival from the last detection.
    bool lastFree = false;
    for (const auto& row : m.removedAt)
        lastFree = lastFree || (!row.empty() && row.back() > 0);
    // Where animals were removed unseen, those not removed were spared a risk the others'
    // histories must allow for; a probability of removal per such occasion does. Where every
    // removed animal was caught there, removal went with capture: a loss on capture, which
    // needs no parameter.
    std::vector<bool> removals(size_t(std::max(m.occasions, 0)), false);
    for (const auto& row : m.removedAt)
        for (size_t j = 0; j < row.size(); ++j)
            removals[j] = removals[j] || row[j] > 0;
    return CjsDesign::timeDependent(m.occasions, lastFree).withRemovals(removals);
}

CjsFit CjsFitter::fit(const CjsMArray& m) const
{
    return fit(m, design(m));
}

namespace {

// A reported quantity: a product of probabilities of the model.
struct Quantity
{
    std::vector<Real> factors;
};

// The eigenvalues (ascending) and eigenvectors (columns, row-major) of a symmetric matrix, by
// cyclic Jacobi rotations.
void symmetricEigen(std::vector<double> a, int n, std::vector<double>& values,
                    std::vector<double>& vectors)
{
    vectors.assign(size_t(n) * n, 0.0);
    for (int i = 0; i < n; ++i)
        vectors[size_t(i) * n + i] = 1.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        double total = 0.0;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const double v = a[size_t(i) * n + j] * a[size_t(i) * n + j];
                total += v;
                if (i != j)
                    off += v;
            }
        if (off <= 1e-30 * total)
            break;
        for (int p = 0; p < n - 1; ++p)
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[size_t(p) * n + q];
                if (apq == 0.0)
                    continue;
                const double theta = (a[size_t(q) * n + q] - a[size_t(p) * n + p]) / (2.0 * apq);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                                 (std::abs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < n; ++k) {
                    const double akp = a[size_t(k) * n + p];
                    const double akq = a[size_t(k) * n + q];
                    a[size_t(k) * n + p] = c * akp - s * akq;
                    a[size_t(k) * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {
                    const double apk = a[size_t(p) * n + k];
                    const double aqk = a[size_t(q) * n + k];
                    a[size_t(p) * n + k] = c * apk - s * aqk;
                    a[size_t(q) * n + k] = s * apk + c * aqk;
                }
                for (int k = 0; k < n; ++k) {
                    const double vkp = vectors[size_t(k) * n + p];
                    const double vkq = vectors[size_t(k) * n + q];
                    vectors[size_t(k) * n + p] = c * vkp - s * vkq;
                    vectors[size_t(k) * n + q] = s * vkp + c * vkq;
                }
            }
    }
    values.resize(size_t(n));
    for (int i = 0; i < n; ++i)
        values[size_t(i)] = a[size_t(i) * n + i];
}

// What the observed information says about the parameters away from their bounds.
class Information
{
public:
    Information(const std::vector<double>& hessian, const std::vector<double>& x, int n,
                double released)
        : n_(n), x_(x)
    {
        scale_.assign(size_t(n), 0.0);
        inside_.assign(size_t(n), false);
        estimable_.assign(size_t(n), false);
        for (int a = 0; a < n; ++a) {
            inside_[size_t(a)] = !atBound(x[size_t(a)]);
            const double d = -hessian[size_t(a) * n + a];
            // Information of less than a millionth of a fish tells nothing.
            if (inside_[size_t(a)] && d >= 1e-6 * released) {
                estimable_[size_t(a)] = true;
                used_.push_back(a);
                scale_[size_t(a)] = std::sqrt(d);
            }
        }
        const int q = int(used_.size());
        scaled_.assign(size_t(q) * q, 0.0);
        for (int a = 0; a < q; ++a)
            for (int b = 0; b < q; ++b)
                scaled_[size_t(a) * q + b] =
                    -hessian[size_t(used_[size_t(a)]) * n + used_[size_t(b)]] /
                    (scale_[size_t(used_[size_t(a)])] * scale_[size_t(used_[size_t(b)])]);
        std::vector<double> values;
        symmetricEigen(scaled_, q, values, vectors_);
        double largest = 0.0;
        for (const double v : values)
            largest = std::max(largest, v);
        for (int e = 0; e < q; ++e) {
            if (values[size_t(e)] > 1e-7 * largest)
                kept_.push_back({e, values[size_t(e)]});
            else
                null_.push_back(e);
        }
        rank_ = int(kept_.size());
        smallest_ = values.empty() || largest <= 0.0
                        ? 0.0
                        : *std::min_element(values.begin(), values.end()) / largest;
        int insideCount = 0;
        for (int a = 0; a < n; ++a)
            insideCount += inside_[size_t(a)] ? 1 : 0;
        singular_ = rank_ < insideCount;
    }

    int rank() const { return rank_; }
    // The smallest eigenvalue of the scaled information relative to the largest.
    double smallest() const { return smallest_; }
    bool singular() const { return singular_; }
    bool inside(int a) const { return inside_[size_t(a)]; }

    // Inverse (or, when singular, pseudo-inverse) information on the logit scale, carried to the
    // probability scale: covariance of the parameters, row-major n x n.
    std::vector<double> covariance() const
    {
        const int n = n_;
        const int q = int(used_.size());
        std::vector<double> result(size_t(n) * n, 0.0);
        if (!singular_) {
            std::vector<double> factor = scaled_;
            if (cholesky(factor, q)) {
                for (int b = 0; b < q; ++b) {
                    std::vector<double> column(static_cast<size_t>(q), 0.0);
                    column[size_t(b)] = 1.0;
                    choleskySolve(factor, q, column);
                    for (int a = 0; a < q; ++a) {
                        const int i = used_[size_t(a)];
                        const int j = used_[size_t(b)];
                        const double dx = x_[size_t(i)] * (1.0 - x_[size_t(i)]);
                        const double dy = x_[size_t(j)] * (1.0 - x_[size_t(j)]);
                        result[size_t(i) * n + j] =
                            dx * dy * column[size_t(a)] / (scale_[size_t(i)] * scale_[size_t(j)]);
                    }
                }
                return result;
            }
        }
        for (int a = 0; a < q; ++a)
            for (int b = 0; b < q; ++b) {
                double s = 0.0;
                for (const auto& [e, value] : kept_)
                    s += vectors_[size_t(a) * q + e] * vectors_[size_t(b) * q + e] / value;
                const int i = used_[size_t(a)];
                const int j = used_[size_t(b)];
                const double dx = x_[size_t(i)] * (1.0 - x_[size_t(i)]);
                const double dy = x_[size_t(j)] * (1.0 - x_[size_t(j)]);
                result[size_t(i) * n + j] = dx * dy * s / (scale_[size_t(i)] * scale_[size_t(j)]);
            }
        return result;
    }

    // Whether a quantity with this gradient in the logits is determined by the data: no part of
    // it may lie along a direction the information does not see.
    bool identifiable(const std::vector<double>& gradient) const
    {
        double norm = 0.0;
        for (int a = 0; a < n_; ++a)
            if (inside_[size_t(a)])
                norm += gradient[size_t(a)] * gradient[size_t(a)];
        if (norm == 0.0)
            return true;
        norm = std::sqrt(norm);
        for (int a = 0; a < n_; ++a)
            if (inside_[size_t(a)] && !estimable_[size_t(a)] &&
                std::abs(gradient[size_t(a)]) > Tolerance * norm)
                return false;
        const int q = int(used_.size());
        std::vector<double> u(static_cast<size_t>(q));
        double unorm = 0.0;
        for (int a = 0; a < q; ++a) {
            const int i = used_[size_t(a)];
            u[size_t(a)] = gradient[size_t(i)] / scale_[size_t(i)];
            unorm += u[size_t(a)] * u[size_t(a)];
        }
        unorm = std::sqrt(unorm);
        for (const int e : null_) {
            double along = 0.0;
            for (int a = 0; a < q; ++a)
                along += vectors_[size_t(a) * q + e] * u[size_t(a)];
            if (std::abs(along) > Tolerance * unorm)
                return false;
        }
        return true;
    }

    static constexpr double Tolerance = 1e-4;

private:
    int n_;
    std::vector<double> x_;
    std::vector<double> scale_;
    std::vector<bool> inside_;
    std::vector<bool> estimable_;
    std::vector<int> used_;
    std::vector<double> scaled_;
    std::vector<double> vectors_;
    std::vector<std::pair<int, double>> kept_;
    std::vector<int> null_;
    int rank_ = 0;
    double smallest_ = 0.0;
    bool singular_ = false;
};

// The profile-likelihood 95% interval of parameter `index`: the values at which -2 ln L,
// maximised over the other parameters, lies within Chi95 of its minimum. Each limit is found
// on the logit scale between the estimate and the far bound; a side on which the profile
// never rises so far reaches the bound itself.
std::pair<double, double> profileInterval(const CjsMArray& m, const CjsDesign& design,
                                          const std::vector<double>& eta, int index, double minimum,
                                          int maxIterations)
{
    std::vector<double> others = eta;
    others.erase(others.begin() + index);
    const auto rise = [&](double logitValue) {
        const Likelihood held(m, design.holding(index, sigmoid(logitValue)));
        return -2.0 * maximise(held, others, maxIterations).logLikelihood - minimum;
    };
    const double at = eta[size_t(index)];
    const auto limit = [&](double side) {
        const double far = side * LogitLimit;
        const double atFar = side * at >= LogitLimit ? 0.0 : rise(far);
        if (atFar <= Chi95)
            return side > 0.0 ? 1.0 : 0.0;
        // Halving while the far end is far above the cut, then regula falsi with the Illinois
        // step, which shrinks the bracket from both ends: a dozen refits instead of fifty.
        double a = at;
        double fa = -Chi95;
        double b = far;
        double fb = atFar - Chi95;
        int last = 0;
        for (int step = 0; step < 200 && std::abs(b - a) > 1e-9; ++step) {
            const double c = fb > 10.0 * Chi95 ? 0.5 * (a + b) : (a * fb - b * fa) / (fb - fa);
            const double fc = rise(c) - Chi95;
            if (std::abs(fc) < 1e-10)
                return sigmoid(c);
            if (fc < 0.0) {
                a = c;
                fa = fc;
                if (last < 0)
                    fb *= 0.5;
                last = -1;
            } else {
                b = c;
                fb = fc;
                if (last > 0)
                    fa *= 0.5;
                last = 1;
            }
        }
        return sigmoid(0.5 * (a + b));
    };
    return {limit(-1.0), limit(1.0)};
}

// The maximum of the likelihood from the closed-form start, or from the neutral one where
// that start does not converge (or when asked).
Solution searchMaximum(const Likelihood& likelihood, const CjsMArray& m,
                       const CjsFitter::Options& options)
{
    const std::vector<double> neutral(static_cast<size_t>(likelihood.dimension()), 0.0);
    Solution best =
        maximise(likelihood, options.closedFormStart ? jollySeberStart(m, likelihood) : neutral,
                 options.maxIterations);
    if (!best.converged && options.closedFormStart) {
        Solution other = maximise(likelihood, neutral, options.maxIterations);
        if (other.converged || other.logLikelihood > best.logLikelihood)
            best = std::move(other);
    }
    return best;
}

// The probabilities of the parameters at eta.
std::vector<double> probabilitiesAt(const std::vector<double>& eta)
{
    std::vector<double> x(eta.size());
    for (size_t a = 0; a < eta.size(); ++a)
        x[a] = sigmoid(eta[a]);
    return x;
}

// The estimates of a fit's reported quantities at its maximum: value, identifiability,
// standard error and interval, and the covariance of two of them.
class Estimator
{
public:
    struct Fit
    {
        const CjsMArray& m;
        const CjsDesign& design;
        const Likelihood& likelihood;
        const Solution& best;
        const std::vector<double>& x;
        const Information& information;
        // Empty when the fit did not converge.
        const std::vector<double>& covariance;
        double minus2LnL;
        bool converged;
    };

    Estimator(const Fit& fit, const CjsFitter::Options& options)
        : fit_(fit), options_(options), n_(fit.likelihood.dimension())
    {
    }

    CjsEstimate estimate(const Quantity& q) const
    {
        CjsEstimate e;
        e.value = 1.0;
        for (const Real& real : q.factors)
            e.value *= valueOf(real);
        const std::vector<double> g = factorGradient(q);
        std::vector<double> logit(static_cast<size_t>(n_), 0.0);
        bool free = false;
        for (size_t t = 0; t < q.factors.size(); ++t) {
            const int i = q.factors[t].index;
            if (i >= 0 && fit_.information.inside(i)) {
                logit[size_t(i)] += g[t] * fit_.x[size_t(i)] * (1.0 - fit_.x[size_t(i)]);
                free = true;
            }
        }
        e.identifiable = fit_.information.identifiable(logit);
        if (!e.identifiable) {
            e.value = 0.0;
            return e;
        }
        if (!fit_.covariance.empty() && free && !atBound(e.value))
            CjsFitter::setInterval(e, std::sqrt(std::max(covarianceOf(q, q), 0.0)));
        // A quantity of one parameter (times probabilities held fixed) gets its profile
        // interval at a bound, where the logit scale has none, and on request everywhere.
        int parameter = -1;
        int parameters = 0;
        double fixed = 1.0;
        for (const Real& real : q.factors) {
            if (real.index >= 0) {
                parameter = real.index;
                ++parameters;
            } else {
                fixed *= real.fixed;
            }
        }
        if (fit_.converged && parameters == 1 && (atBound(e.value) || options_.profileIntervals)) {
            const auto [lower, upper] =
                profileInterval(fit_.m, fit_.design, fit_.best.eta, parameter, fit_.minus2LnL,
                                options_.maxIterations);
            e.hasInterval = true;
            e.profile = true;
            e.lcl = fixed * lower;
            e.ucl = fixed * upper;
        }
        return e;
    }

    double covarianceOf(const Quantity& a, const Quantity& b) const
    {
        const std::vector<double> ga = factorGradient(a);
        const std::vector<double> gb = factorGradient(b);
        double sum = 0.0;
        for (size_t t = 0; t < a.factors.size(); ++t)
            for (size_t u = 0; u < b.factors.size(); ++u) {
                const int i = a.factors[t].index;
                const int j = b.factors[u].index;
                if (i >= 0 && j >= 0)
                    sum += ga[t] * gb[u] * fit_.covariance[size_t(i) * n_ + j];
            }
        return sum;
    }

    // The survival from occasion first to last + 1.
    Quantity survival(int first, int last) const
    {
        Quantity q;
        for (int t = first; t <= last; ++t)
            q.factors.push_back(fit_.likelihood.phi(t));
        return q;
    }

private:
    double valueOf(const Real& real) const
    {
        return real.index >= 0 ? fit_.x[size_t(real.index)] : real.fixed;
    }
    // Gradient of a product on the probability scale, one entry per factor: the product of the
    // others.
    std::vector<double> factorGradient(const Quantity& q) const
    {
        std::vector<double> g(q.factors.size(), 1.0);
        for (size_t t = 0; t < q.factors.size(); ++t)
            for (size_t u = 0; u < q.factors.size(); ++u)
                if (u != t)
                    g[t] *= valueOf(q.factors[u]);
        return g;
    }

    const Fit& fit_;
    const CjsFitter::Options& options_;
    const int n_;
};

// The fit's estimates, its rows (survivals that cannot be told apart reported as their product
// where that is known) and the rows' covariance.
void report(CjsFit& result, const Estimator& estimator, const Likelihood& likelihood,
            bool withCovariance)
{
    const int k = result.occasions;
    for (int t = 0; t <= k - 3; ++t) {
        result.phi[size_t(t)] = estimator.estimate(estimator.survival(t, t));
        result.p[size_t(t)] = estimator.estimate(Quantity{{likelihood.p(t + 1)}});
    }
    const Quantity beta{{likelihood.phi(k - 2), likelihood.p(k - 1)}};
    result.beta = estimator.estimate(beta);
    for (int i = 0; i <= k - 3; ++i)
        result.cumulativeSurvival[size_t(i)] = estimator.estimate(estimator.survival(0, i));

    std::vector<Quantity> quantities;
    const auto addRow = [&](CjsRow::Kind kind, int from, int to, const CjsEstimate& e,
                            const Quantity& q) {
        result.rows.push_back({kind, from, to, e});
        quantities.push_back(q);
    };
    for (int t = 0; t <= k - 3; ++t) {
        if (!result.phi[size_t(t)].identifiable) {
            bool joined = false;
            for (int u = t + 1; u <= k - 3 && !joined; ++u) {
                const Quantity q = estimator.survival(t, u);
                const CjsEstimate e = estimator.estimate(q);
                if (e.identifiable) {
                    addRow(CjsRow::Kind::Phi, t, u + 1, e, q);
                    t = u;
                    joined = true;
                }
            }
            if (joined)
                continue;
        }
        addRow(CjsRow::Kind::Phi, t, t + 1, result.phi[size_t(t)], estimator.survival(t, t));
    }
    for (int t = 1; t <= k - 2; ++t)
        addRow(CjsRow::Kind::P, t, t, result.p[size_t(t - 1)], Quantity{{likelihood.p(t)}});
    addRow(CjsRow::Kind::Beta, k - 2, k - 1, result.beta, beta);

    if (withCovariance) {
        const size_t r = result.rows.size();
        result.covariance.assign(r * r, 0.0);
        for (size_t a = 0; a < r; ++a)
            for (size_t b = 0; b < r; ++b)
                if (result.rows[a].estimate.hasSe() && result.rows[b].estimate.hasSe())
                    result.covariance[a * r + b] =
                        estimator.covarianceOf(quantities[a], quantities[b]);
    }
}

} // namespace

CjsFit CjsFitter::fit(const CjsMArray& m, const CjsDesign& design) const
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
    if (m.recaptures() + m.removals() == 0) {
        result.singular = true;
        return result;
    }

    const Likelihood likelihood(m, design);
    const int n = likelihood.dimension();
    Solution best = searchMaximum(likelihood, m, options_);
    std::vector<double> x = probabilitiesAt(best.eta);
    Information information(best.hessian, x, n, double(m.animals));
    // Near a ridge the small slope left by the usual tolerance bends the information enough to
    // hide a direction the data do not see; there the maximum is sought to the last digit.
    if (best.converged && information.smallest() < 1e-3) {
        Solution polished = maximise(likelihood, best.eta, 50, 1e-30);
        if (polished.logLikelihood >= best.logLikelihood) {
            polished.converged = true;
            polished.iterations += best.iterations;
            best = std::move(polished);
            x = probabilitiesAt(best.eta);
            information = Information(best.hessian, x, n, double(m.animals));
        }
    }
    result.converged = best.converged;
    result.iterations = best.iterations;
    result.minus2LnL = -2.0 * best.logLikelihood;

    result.parameters = information.rank();
    result.singular = information.singular();
    const std::vector<double> covariance =
        result.converged ? information.covariance() : std::vector<double>();
    const Estimator::Fit at{m,          design,           likelihood,      best, x, information,
                            covariance, result.minus2LnL, result.converged};
    report(result, Estimator(at, options_), likelihood, !covariance.empty());
    return result;
}

} // namespace kd
