#include "survival/SurvivalAnalysis.h"

#include <QHash>

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
    result.sites = study.sites;
    result.siteRiverKm = study.siteRiverKm;
    const int sites = int(study.sites.size());

    QHash<QString, double> releaseKm;
    for (const SurvivalRelease& release : study.releases)
        releaseKm.insert(release.name, release.riverKm);

    QHash<QString, int> releaseIndex;
    QList<std::vector<CaptureHistory>> histories;
    // Per tag code, the releases it was seen in, in order.
    QHash<QString, QStringList> tagReleases;
    QStringList tagOrder;
    for (const SurvivalFish& fish : study.fish) {
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
        line.history = history(fish.codes, sites, &line.removed);
        line.length = fish.length;
        line.weight = fish.weight;

        CaptureHistory& capture = histories[index].emplace_back();
        capture.occasions.resize(size_t(sites) + 1);
        for (int t = 0; t <= sites; ++t)
            capture.occasions[size_t(t)] = line.history[t] == u'1' ? 1 : 0;
        capture.removedAtLastCapture = line.removed;
        ++release.fish;
        if (line.removed)
            ++release.removed;
        for (int i = 0; i < sites; ++i)
            if (capture.occasions[size_t(i) + 1])
                ++release.detected[i];

        QStringList& seenIn = tagReleases[fish.tagCode];
        if (seenIn.isEmpty())
            tagOrder.append(fish.tagCode);
        if (!seenIn.contains(fish.releaseName))
            seenIn.append(fish.releaseName);
    }

    const CjsFitter fitter(options);
    for (qsizetype r = 0; r < result.releases.size(); ++r) {
        SurvivalReleaseResult& release = result.releases[r];
        const QString name = quoted(release.name);
        bool anyDetected = false;
        for (const int count : std::as_const(release.detected))
            anyDetected = anyDetected || count > 0;
        if (!anyDetected) {
            result.warnings.append(warning(
                QStringLiteral("release %1: no fish was detected at any site; it has no estimates.")
                    .arg(name)));
            continue;
        }
        release.estimated = true;
        release.fit = fitter.fit(sites + 1, histories[r]);
        if (!release.fit.converged)
            result.warnings.append(warning(QStringLiteral("release %1: the fit did not converge; "
                                                          "no standard errors or intervals.")
                                               .arg(name)));
        else if (release.fit.singular)
            result.warnings.append(
                warning(QStringLiteral("release %1: the information matrix is singular (not every "
                                       "parameter can be estimated from these data); no standard "
                                       "errors or intervals.")
                            .arg(name)));
    }

    for (const QString& tag : std::as_const(tagOrder)) {
        const QStringList& seenIn = tagReleases[tag];
        if (seenIn.size() < 2)
            continue;
        QStringList names;
        for (const QString& release : seenIn)
            names.append(quoted(release));
        const QString last = names.takeLast();
        result.warnings.append(warning(
            QStringLiteral("fish %1 is in releases %2 and %3; it is "
                           "counted in %4.")
                .arg(quoted(tag), names.join(QStringLiteral(", ")), last,
                     seenIn.size() == 2 ? QStringLiteral("both") : QStringLiteral("each"))));
    }
    return result;
}

} // namespace kd
