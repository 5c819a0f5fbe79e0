#pragma once

#include <cstddef>
#include <vector>

namespace kd {

// Which fitted parameter each survival and detection probability of a model uses, so that one
// likelihood serves every model over the same occasions. Occasions count from 0 (the release).
struct CjsDesign
{
    int occasions = 0;
    // phi[t]: the parameter of survival from occasion t to t + 1, t = 0 .. occasions - 2;
    // p[t]: of detection at occasion t, t = 1 .. occasions - 1 (p[0] is unused). -1 holds the
    // probability at its entry of phiFixed or pFixed.
    std::vector<int> phi;
    std::vector<int> p;
    std::vector<double> phiFixed;
    std::vector<double> pFixed;
    // r[t]: of removal at occasion t of an animal alive there, detected or not; held at 0 (-1)
    // where nothing was removed so.
    std::vector<int> r;
    std::vector<double> rFixed;
    int parameters = 0;

    // phi(t) p(t): one parameter per reach and site. The last reach's survival and the last
    // site's detection enter the histories only as their product unless an animal is known
    // alive at the last occasion without being seen there; without `lastDetectionFree` the last
    // detection is held at 1, so that the last survival parameter is that product (beta).
    // Parameters in order: phi_0 .. phi_{K-3}, p_1 .. p_{K-2}, the last phi, the last p.
    static CjsDesign timeDependent(int occasions, bool lastDetectionFree)
    {
        CjsDesign d;
        const int k = occasions;
        d.occasions = k;
        if (k < 2)
            return d;
        d.phi.assign(std::size_t(k - 1), -1);
        d.p.assign(std::size_t(k), -1);
        d.phiFixed.assign(std::size_t(k - 1), 1.0);
        d.pFixed.assign(std::size_t(k), 1.0);
        d.r.assign(std::size_t(k), -1);
        d.rFixed.assign(std::size_t(k), 0.0);
        int next = 0;
        for (int t = 0; t <= k - 3; ++t)
            d.phi[std::size_t(t)] = next++;
        for (int t = 1; t <= k - 2; ++t)
            d.p[std::size_t(t)] = next++;
        d.phi[std::size_t(k - 2)] = next++;
        if (lastDetectionFree)
            d.p[std::size_t(k - 1)] = next++;
        d.parameters = next;
        return d;
    }

    // The same design with a removal probability at each occasion marked true, after the
    // other parameters.
    CjsDesign withRemovals(const std::vector<bool>& occasions) const
    {
        CjsDesign d = *this;
        for (std::size_t t = 0; t < occasions.size() && t < d.r.size(); ++t)
            if (occasions[t])
                d.r[t] = d.parameters++;
        return d;
    }

    // The same design with parameter `index` held at `value` and the others renumbered.
    CjsDesign holding(int index, double value) const
    {
        CjsDesign d = *this;
        const auto hold = [&](std::vector<int>& ids, std::vector<double>& fixed) {
            for (std::size_t t = 0; t < ids.size(); ++t) {
                if (ids[t] == index) {
                    ids[t] = -1;
                    fixed[t] = value;
                } else if (ids[t] > index) {
                    --ids[t];
                }
            }
        };
        hold(d.phi, d.phiFixed);
        hold(d.p, d.pFixed);
        hold(d.r, d.rFixed);
        d.parameters = parameters - 1;
        return d;
    }
};

} // namespace kd
