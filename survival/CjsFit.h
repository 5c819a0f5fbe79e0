#pragma once

#include <vector>

namespace kd {

// A probability estimated by the fit. Without an interval (a value within 1e-6 of 0 or 1, a
// singular information matrix or a fit that did not converge) se, lcl and ucl are not set.
struct CjsEstimate
{
    double value = 0.0;
    bool hasInterval = false;
    double se = 0.0;
    // 95% interval, made on the logit scale and transformed back.
    double lcl = 0.0;
    double ucl = 0.0;
};

// Result of fitting phi(t) p(t) to the histories of K occasions (occasion 1 is the first).
// Only these are identifiable: phi_1 .. phi_{K-2}, p_2 .. p_{K-1} and beta = phi_{K-1} p_K.
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

    // Covariance of the identifiable parameters (phi, then p, then beta) on the probability
    // scale, row-major; a parameter at a bound has zero rows. Empty when there are no intervals.
    std::vector<double> covariance;

    // -2 ln L without the multinomial coefficients.
    double minus2LnL = 0.0;
    // Identifiable parameters estimated away from a bound of 0 or 1.
    int parameters = 0;
    int iterations = 0;
    bool converged = false;
    bool singular = false;

    // Standard errors and intervals are given only for a converged fit with an invertible
    // information matrix.
    bool hasIntervals() const { return converged && !singular; }
    // Number of identifiable parameters, 2K - 3 (none below two occasions).
    int identifiableCount() const { return occasions < 2 ? 0 : 2 * occasions - 3; }
    // The identifiable parameters in covariance order.
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
