#pragma once

#include "survival/SurvivalResult.h"

#include <QImage>
#include <QSize>

namespace kd {

// Cumulative survival of each release from its release point to sites 1 .. n - 1 against river
// kilometre, decreasing to the right (downstream), with 95% intervals as vertical bars.
class SurvivalChart
{
public:
    static constexpr int Width = 1000;
    static constexpr int Height = 600;

    // Needs a QGuiApplication for its fonts; the offscreen platform will do.
    static QImage render(const SurvivalResult& result, const QSize& size = QSize(Width, Height));

    // Site labels at these x positions (ascending) that fit apart: sites closer than `gap` to
    // the first of a group share its label, their names joined by ", ". Each entry is the index
    // of a group's first site, with the names.
    static QList<QPair<qsizetype, QString>> siteLabels(const QList<double>& x,
                                                       const QStringList& names, double gap);
};

} // namespace kd
