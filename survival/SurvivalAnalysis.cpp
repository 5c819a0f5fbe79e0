#include "survival/SurvivalAnalysis.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace kd {

namespace {

QString quoted(const QString& text)
{
    return u'"' + text + u'"';
}

QString warning(const QString& text)
{
    return QStringLiteral("***Warning: ") + text;
}

// The codes in more than one release, whose fish are left out, with a warning naming them.
QSet<QString> sharedCodes(const SurvivalStudy& study, const QString& run, SurvivalResult& result)
{
    // A code in two releases cannot say which fish its detections belong to.
    QHash<QString, QString> firstRelease;
    QSet<QString> shared;
    QStringList sharedOrder;
    for (const SurvivalFish& fish : study.fish) {
        const auto seen = firstRelease.constFind(fish.tagCode);
        if (seen == firstRelease.constEnd())
            firstRelease.insert(fish.tagCode, fish.releaseName);
        else if (*seen != fish.releaseName && !shared.contains(fish.tagCode)) {
            shared.insert(fish.tagCode);
            sharedOrder.append(fish.tagCode);
        }
    }
    if (!sharedOrder.isEmpty()) {
        QStringList first = sharedOrder.mid(0, 10);
        if (sharedOrder.size() > 10)
            first.append(QStringLiteral("…"));
        result.warnings.append(warning(
            QStringLiteral("%1: %2 tag codes are in more than one release; their fish are left "
                           "out of the fit and the exports: %3")
                .arg(run)
                .arg(sharedOrder.size())
                .arg(first.join(QStringLiteral(", ")))));
    }
    return shared;
}

// Each fish's survival history into the result, with its release's counts, and the capture
// histories of each release for the fit.
QList<std::vector<CaptureHistory>> histories(const SurvivalStudy& study,
                                             const QSet<QString>& shared, SurvivalResult& result)
{
    const int sites = int(study.sites.size());
    QHash<QString, double> releaseKm;
    for (const SurvivalRelease& release : study.releases)
        releaseKm.insert(release.name, release.riverKm);

    QHash<QString, int> releaseIndex;
    QList<std::vector<CaptureHistory>> histories;
    for (const SurvivalFish& fish : study.fish) {
        if (shared.contains(fish.tagCode))
            continue;
        auto found = releaseIndex.constFind(fish.releaseName);
        if (found == releaseIndex.constEnd()) {
            found = releaseIndex.insert(fish.releaseName, int(result.releases.size()));
            SurvivalReleaseResult& release = result.releases.emplace_back();
            release.name = fish.releaseName;
            release.riverKm = releaseKm.value(fish.releaseName, std::nan(""));
            release.detected.fill(0, sites);
            histories.append(std::vector<CaptureHistory>());
        }
        const int index = *found;
        SurvivalReleaseResult& release = result.releases[index];

        SurvivalHistory& line = result.histories.emplace_back();
        line.tagCode = fish.tagCode;
        line.release = index;
        line.history = SurvivalAnalysis::history(fish.codes, sites, &line.removed);
        line.length = fish.length;
        line.weight = fish.weight;
        // The removal occasion: the site's position after the release's.
        if (fish.removalSite >= 0 && fish.removalSite < sites)
            line.removedAt = fish.removalSite + 2;

        CaptureHistory& capture = histories[index].emplace_back();
        capture.occasions.resize(size_t(sites) + 1);
        for (int t = 0; t <= sites; ++t)
            capture.occasions[size_t(t)] = line.history[t] == u'1' ? 1 : 0;
        if (line.removedAt > 0)
            capture.removalOccasion = line.removedAt - 1;
        else
            capture.removedAtLastCapture = line.removed;
        ++release.fish;
        if (line.removed)
            ++release.removed;
        for (int i = 0; i < sites; ++i)
            if (capture.occasions[size_t(i) + 1])
                ++release.detected[i];
    }

    return histories;
}

// Warnings about what the design already tells before the fit; false when the release has no
// fish detected at any site, and so no estimates.
bool warnBeforeFit(SurvivalResult& result, const SurvivalReleaseResult& release,
                   const std::vector<CaptureHistory>& histories, const QString& prefix)
{
    const int sites = int(result.sites.size());
    const QString name = quoted(release.name);
    for (int i = 0; i < sites; ++i) {
        const double km = result.siteRiverKm.value(i);
        if (std::isfinite(release.riverKm) && km > 0 && km > release.riverKm)
            result.warnings.append(warning(
                prefix + QStringLiteral("site %1 (river kilometre %2) lies above the release "
                                        "point (river kilometre %3); its fish cannot pass it "
                                        "on their way down.")
                             .arg(result.sites[i])
                             .arg(km)
                             .arg(release.riverKm)));
    }
    QStringList unseen;
    int detectedFish = 0;
    for (int i = 0; i < sites; ++i)
        if (release.detected[i] == 0)
            unseen.append(result.sites[i]);
    for (const CaptureHistory& capture : histories)
        detectedFish +=
            std::count(capture.occasions.begin() + 1, capture.occasions.end(), 1) > 0 ? 1 : 0;
    if (detectedFish == 0) {
        result.warnings.append(warning(
            QStringLiteral("release %1: no fish was detected at any site; it has no estimates.")
                .arg(name)));
        return false;
    }
    if (!unseen.isEmpty())
        result.warnings.append(warning(
            prefix +
            QStringLiteral("no fish was detected at %1.").arg(unseen.join(QStringLiteral(", ")))));
    if (detectedFish < 5)
        result.warnings.append(warning(
            prefix + QStringLiteral("only %1 of its fish %2 detected at any site; the "
                                    "estimates rest on too few fish to be trusted.")
                         .arg(detectedFish)
                         .arg(detectedFish == 1 ? QStringLiteral("was") : QStringLiteral("were"))));

    return true;
}

// After the fit: warnings about rows the data cannot determine, and estimates at a bound.
void warnAfterFit(SurvivalResult& result, const SurvivalReleaseResult& release,
                  const QString& prefix)
{
    const auto occasion = [&](int o) { return o == 0 ? release.name : result.sites[o - 1]; };
    QStringList bounded;
    for (const CjsRow& row : release.fit.rows) {
        const QString label = row.kind == CjsRow::Kind::P
                                  ? QStringLiteral("p %1").arg(occasion(row.from))
                                  : QStringLiteral("%1 %2 to %3")
                                        .arg(row.kind == CjsRow::Kind::Beta ? QStringLiteral("beta")
                                                                            : QStringLiteral("phi"),
                                             occasion(row.from), occasion(row.to));
        if (row.kind == CjsRow::Kind::Phi && row.to - row.from > 1) {
            QStringList parts;
            QStringList between;
            for (int t = row.from; t < row.to; ++t) {
                parts.append(QStringLiteral("phi %1 to %2").arg(occasion(t), occasion(t + 1)));
                if (t > row.from && release.detected[t - 1] == 0)
                    between.append(occasion(t));
            }
            const QString lastPart = parts.takeLast();
            result.warnings.append(warning(
                prefix + QStringLiteral("%1 and %2 cannot be told apart%3; only their product "
                                        "is estimated")
                             .arg(parts.join(QStringLiteral(", ")), lastPart,
                                  between.isEmpty()
                                      ? QString()
                                      : QStringLiteral(" (no fish was detected at %1)")
                                            .arg(between.join(QStringLiteral(" and "))))));
        } else if (!row.estimate.identifiable) {
            result.warnings.append(warning(
                prefix + QStringLiteral("%1 cannot be estimated from these data; it is left "
                                        "empty.")
                             .arg(label)));
        }
        if (row.estimate.identifiable && row.estimate.atBound()) {
            const CjsEstimate& e = row.estimate;
            bounded.append(e.hasInterval ? QStringLiteral("%1 (%2, 95% interval %3 to %4)")
                                               .arg(label, QString::number(e.value, 'f', 6),
                                                    QString::number(e.lcl, 'f', 6),
                                                    QString::number(e.ucl, 'f', 6))
                                         : QStringLiteral("%1 (%2, no interval)")
                                               .arg(label, QString::number(e.value, 'f', 6)));
        }
    }
    if (!bounded.isEmpty())
        result.warnings.append(warning(
            prefix +
            QStringLiteral("%1 %2 at a bound of 0 or 1: the data cannot place %3 "
                           "inside, so %4 no standard error; %5 interval is the set of "
                           "values the profile likelihood does not reject.")
                .arg(bounded.join(QStringLiteral(", ")),
                     bounded.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"),
                     bounded.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"),
                     bounded.size() == 1 ? QStringLiteral("it has") : QStringLiteral("they have"),
                     bounded.size() == 1 ? QStringLiteral("its") : QStringLiteral("each"))));
}

} // namespace

QString SurvivalAnalysis::history(const QVector<int>& codes, int sites, bool* removed)
{
    QString text(1 + std::max(sites, 0), u'0');
    text[0] = u'1';
    bool gone = false;
    for (int i = 0; i < sites && i < codes.size() && !gone; ++i) {
        if (codes[i] == 1 || codes[i] == 2)
            text[1 + i] = u'1';
        gone = codes[i] == 2;
    }
    if (removed)
        *removed = gone;
    return text;
}

SurvivalResult SurvivalAnalysis::analyse(const SurvivalStudy& study,
                                         const CjsFitter::Options& options)
{
    SurvivalResult result;
    result.title = study.title;
    result.sites = study.sites;
    result.siteRiverKm = study.siteRiverKm;
    const int sites = int(study.sites.size());
    const QString run = QStringLiteral("Survival %1").arg(quoted(study.title));

    const QSet<QString> shared = sharedCodes(study, run, result);
    if (study.removedAboveFirstSite > 0)
        result.notes.append(QStringLiteral("%1 fish were removed above the first site (%2) and "
                                           "left the river before any site; they are not in the "
                                           "survival histories.")
                                .arg(study.removedAboveFirstSite)
                                .arg(sites > 0 ? study.sites.first() : QString()));
    const QList<std::vector<CaptureHistory>> captures = histories(study, shared, result);

    const CjsFitter fitter(options);
    for (qsizetype r = 0; r < result.releases.size(); ++r) {
        SurvivalReleaseResult& release = result.releases[r];
        const QString name = quoted(release.name);
        const QString prefix = QStringLiteral("%1, release %2: ").arg(run, release.name);
        if (!warnBeforeFit(result, release, captures[r], prefix))
            continue;
        release.estimated = true;
        release.fit = fitter.fit(sites + 1, captures[r]);
        if (!release.fit.converged)
            result.warnings.append(warning(QStringLiteral("release %1: the fit did not converge; "
                                                          "no standard errors or intervals.")
                                               .arg(name)));
        warnAfterFit(result, release, prefix);
    }
    return result;
}

} // namespace kd
