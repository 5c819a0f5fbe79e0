#pragma once

#include <vector>

namespace kd {

// The reduced m-array of a set of capture histories, occasions counted from 0. Everything the
// Cormack-Jolly-Seber likelihood needs: how many animals were released at each occasion and at
// which later occasion each of them was next caught or known alive and removed.
struct CjsMArray
{
    int occasions = 0;
    // released[i]: animals released at occasion i, i < occasions - 1 (releases at the last
    // occasion carry no information). Animals removed at a capture are not released.
    std::vector<long long> released;
    // next[i][j]: animals released at occasion i and next caught at occasion j > i; each row
    // holds `occasions` entries.
    std::vector<std::vector<long long>> next;
    // removedAt[i][j]: animals released at occasion i, not caught at i + 1 .. j, known alive at
    // j > i and removed right after it; same shape as `next`.
    std::vector<std::vector<long long>> removedAt;
    // Per occasion: animals caught there that went on (released, or at the last occasion not
    // removed), and animals caught there and removed as they would have been unseen.
    std::vector<long long> kept;
    std::vector<long long> removedCaught;
    // Histories with at least one capture, and how many of them were removed at their last one.
    long long animals = 0;
    long long removed = 0;

    long long recaptures() const
    {
        long long total = 0;
        for (const auto& row : next)
            for (const long long m : row)
                total += m;
        return total;
    }
    long long removals() const
    {
        long long total = 0;
        for (const auto& row : removedAt)
            for (const long long m : row)
                total += m;
        return total;
    }
};

} // namespace kd
