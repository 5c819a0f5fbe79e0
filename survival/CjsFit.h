#pragma once

#include <vector>

namespace kd {

// A probability estimated by the fit. Without an interval (a quantity the data cannot
// determine, a fit that did not converge, or a value within 1e-6 of 0 or 1 that has no
// profile interval) se, lcl and ucl are not set; a quantity that is not identifiable has no
// estimate either. A value at a bound has no standard error.
struct CjsEstimate
{
    double value = 0.0;
    bool hasInterval = false;
    double se = 0.0;
    bool withSe = false;
    // 95% interval, made on the logit scale and transformed back, or a profile-likelihood
    // interval.
    double lcl = 0.0;
    double ucl = 0.0;
    bool identifiable = true;
    bool profile = false;
    bool atBound() const { return value < 1e-6 || value > 1.0 - 1e-6; }
    bool hasSe() const { return hasInterval && withSe; }
};

// One line of the estimates: a survival over one or more reaches (a product where the reaches
// between cannot be told apart), a detection probability, or the last reach's beta.
struct CjsRow
{
    enum class Kind { Phi, P, Beta };
    Kind kind = Kind::Phi;
    // Occasions counted from 0 (the release): phi and beta from `from` to `to`, p at `from`.
    int from = 0;
    int to = 0;
    CjsEstimate estimate;
};

// Result of fitting phi(t) p(t) to the histories of K occasions (occasion 1 is the first).
// Only these can be identifiable: phi_1 .. phi_{K-2}, p_2 .. p_{K-1} and beta = phi_{K-1} p_K.
struct CjsFit
{
    int occasions = 0;
    long long animals = 0;
    long long removed = 0;

    // phi[i]: survival from occasion i + 1 to i + 2, i = 0 .. K - 3.
    std::vector<CjsEstimate> phi;
    // p[i]: detection probability at occasion i + 2, i = 0 .. K - 3.
    std::vector<CjsEstimate> p;
    // The last interval's survival times the last occasion's detection probability.
    CjsEstimate beta;
    // cumulativeSurvival[i]: survival from occasion 1 to occasion i + 2, the product of
    // phi[0] .. phi[i], with its interval from the delta method on the full covariance.
    std::vector<CjsEstimate> cumulativeSurvival;
    // The lines of the estimates file: the phi (a product in place of survivals that cannot be
    // told apart), then p, then beta.
    std::vector<CjsRow> rows;

    // Covariance of `rows` on the probability scale, row-major; a row without a standard error
    // has zero entries. Empty when there are no intervals.
    std::vector<double> covariance;

    // -2 ln L without the multinomial coefficients.
    double minus2LnL = 0.0;
    // The numerical rank of the information of the parameters away from a bound.
    int parameters = 0;
    int iterations = 0;
    bool converged = false;
    // Some parameter away from a bound cannot be estimated from these data.
    bool singular = false;

    // Standard errors and intervals are given only for a converged fit.
    bool hasIntervals() const { return converged && !covariance.empty(); }
    // Number of identifiable parameters, 2K - 3 (none below two occasions).
    int identifiableCount() const { return occasions < 2 ? 0 : 2 * occasions - 3; }
    // phi, then p, then beta.
    std::vector<CjsEstimate> identifiable() const
    {
        std::vector<CjsEstimate> all = phi;
        all.insert(all.end(), p.begin(), p.end());
        if (occasions >= 2)
            all.push_back(beta);
        return all;
    }
};

} // namespace kd
