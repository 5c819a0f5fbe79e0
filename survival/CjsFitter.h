#pragma once

#include "survival/CaptureHistory.h"
#include "survival/CjsDesign.h"
#include "survival/CjsFit.h"
#include "survival/CjsMArray.h"

#include <vector>

namespace kd {

// Maximum-likelihood fit of the Cormack-Jolly-Seber model (by default phi(t) p(t)), with
// losses on capture and removals of animals not caught, on the m-array of a set of histories.
// Newton's method on the logit scale, started from the closed-form Jolly-Seber estimates, with step
// halving and a damped step where the surface is not concave; a parameter that runs to 0 or 1 is
// held at its bound.
class CjsFitter
{
public:
    struct Options
    {
        int maxIterations = 100;
        // Start from the closed-form Jolly-Seber estimates (for phi(t) p(t) these are already
        // the maximum inside the parameter space); otherwise from 0.5 everywhere.
        bool closedFormStart = true;
        // Give every row a profile-likelihood interval, not only the rows at a bound.
        bool profileIntervals = false;
    };

    CjsFitter() = default;
    explicit CjsFitter(const Options& options) : options_(options) {}

    // Histories longer than `occasions` are cut, shorter ones read as 0 beyond their end;
    // histories without a capture are left out.
    static CjsMArray mArray(int occasions, const std::vector<CaptureHistory>& histories);

    CjsFit fit(int occasions, const std::vector<CaptureHistory>& histories) const;
    // Fewer than two occasions, or no recapture at all, give a fit that is neither converged nor
    // invertible, with every estimate 0.
    CjsFit fit(const CjsMArray& mArray) const;
    // The fit of a model given by its design; every reported quantity is checked against what
    // the information can tell (a quantity it cannot is reported empty).
    CjsFit fit(const CjsMArray& mArray, const CjsDesign& design) const;
    // phi(t) p(t) with the last detection free only where removals make it estimable.
    static CjsDesign design(const CjsMArray& mArray);

    // 95% interval on the logit scale around a probability with the given standard error.
    static void setInterval(CjsEstimate& estimate, double se);

private:
    Options options_;
};

} // namespace kd
