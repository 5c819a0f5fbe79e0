#include "survival/SurvivalChart.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kd {

namespace {

struct Point
{
    double km = 0.0;
    double survival = 1.0;
    bool hasInterval = false;
    double lcl = 0.0;
    double ucl = 0.0;
    // The line to this point is broken: a quantity before it could not be estimated.
    bool afterGap = false;
    // False for the release point, where survival is 1 by definition.
    bool estimate = true;
};

struct Series
{
    QString name;
    QColor color;
    QList<Point> points;
    // The first point is the release point.
    bool released = false;
};

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about `parts` parts.
double niceStep(double range, int parts)
{
    const double raw = range / parts;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (raw <= factor * magnitude)
            return factor * magnitude;
    return 10.0 * magnitude;
}

QColor seriesColor(qsizetype index)
{
    static const QRgb colors[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd,
                                  0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf};
    return QColor(colors[index % qsizetype(std::size(colors))]);
}

QList<Series> seriesOf(const SurvivalResult& result)
{
    QList<Series> all;
    for (const SurvivalReleaseResult& release : result.releases) {
        if (!release.estimated)
            continue;
        Series series;
        series.name = release.name;
        series.color = seriesColor(all.size());
        if (std::isfinite(release.riverKm))
            series.points.append({release.riverKm, 1.0, false, 0.0, 0.0, false, false});
        series.released = std::isfinite(release.riverKm);
        const auto& cumulative = release.fit.cumulativeSurvival;
        bool gap = false;
        for (size_t i = 0; i < cumulative.size() && qsizetype(i) < result.siteRiverKm.size(); ++i) {
            const CjsEstimate& s = cumulative[i];
            // What the data cannot tell is not drawn, and the line does not bridge it.
            if (!s.identifiable) {
                gap = true;
                continue;
            }
            if (std::isfinite(result.siteRiverKm[qsizetype(i)])) {
                series.points.append({result.siteRiverKm[qsizetype(i)], s.value, s.hasInterval,
                                      s.lcl, s.ucl, gap, true});
                gap = false;
            }
        }
        all.append(series);
    }
    return all;
}

} // namespace

QImage SurvivalChart::render(const SurvivalResult& result, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    const QFontMetrics metrics(font);

    const QList<Series> series = seriesOf(result);

    // Kilometre range: every plotted point and every site.
    double low = INFINITY;
    double high = -INFINITY;
    for (const Series& s : series)
        for (const Point& point : s.points) {
            low = std::min(low, point.km);
            high = std::max(high, point.km);
        }
    for (const double km : result.siteRiverKm)
        if (std::isfinite(km)) {
            low = std::min(low, km);
            high = std::max(high, km);
        }
    if (!std::isfinite(low)) {
        low = 0.0;
        high = 1.0;
    }
    if (high - low < 1e-9) {
        low -= 1.0;
        high += 1.0;
    }
    const double pad = 0.04 * (high - low);
    low -= pad;
    high += pad;

    const QRect plot(80, 80, size.width() - 80 - 230, size.height() - 80 - 70);
    // Upstream (high kilometre) on the left.
    const auto xOf = [&](double km) {
        return plot.left() + (high - km) / (high - low) * plot.width();
    };
    const auto yOf = [&](double survival) { return plot.bottom() - survival * plot.height(); };

    // Title.
    QFont titleFont = font;
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 10, size.width(), 26), Qt::AlignCenter,
                     QStringLiteral("Cumulative survival from release, with 95% intervals"));
    painter.setFont(font);

    // Grid and ticks.
    const QColor grid(225, 225, 225);
    for (int i = 0; i <= 5; ++i) {
        const double y = yOf(i / 5.0);
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(plot.left() - 5, y), QPointF(plot.left(), y));
        painter.drawText(QRectF(plot.left() - 50, y - 10, 40, 20),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(i / 5.0, 'f', 1));
    }
    const double step = niceStep(high - low, 8);
    for (double km = std::ceil(low / step) * step; km <= high + 1e-9 * step; km += step) {
        const double x = xOf(km);
        painter.setPen(grid);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 5));
        painter.drawText(QRectF(x - 40, plot.bottom() + 7, 80, 18), Qt::AlignCenter,
                         QString::number(km, 'g', 10));
    }

    // Sites: a dashed line each, named above the plot.
    QPen sitePen(QColor(150, 150, 150));
    sitePen.setStyle(Qt::DashLine);
    QFont siteFont = font;
    siteFont.setPixelSize(11);
    const QFontMetrics siteMetrics(siteFont);
    painter.setFont(siteFont);
    QList<QPair<double, QString>> placed;
    for (qsizetype i = 0; i < result.sites.size() && i < result.siteRiverKm.size(); ++i) {
        const double km = result.siteRiverKm[i];
        if (!std::isfinite(km))
            continue;
        const double x = xOf(km);
        painter.setPen(sitePen);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        placed.append({x, result.sites[i]});
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<double> xs;
    QStringList names;
    for (const auto& [x, name] : placed) {
        xs.append(x);
        names.append(name);
    }
    // Rotated labels stand apart when their baselines are a line height and a half apart.
    for (const auto& [first, text] : siteLabels(xs, names, 1.6 * siteMetrics.height())) {
        painter.save();
        painter.translate(xs[first], plot.top() - 4);
        painter.rotate(-35);
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(QPointF(0, 0), siteMetrics.elidedText(text, Qt::ElideRight, 110));
        painter.restore();
    }
    painter.setFont(font);

    // Axes and their labels.
    painter.setPen(QPen(Qt::black, 1.5));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawText(QRect(plot.left(), plot.bottom() + 30, plot.width(), 20), Qt::AlignCenter,
                     QStringLiteral("River kilometre (downstream to the right)"));
    painter.save();
    painter.translate(22, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-plot.height() / 2, -10, plot.height(), 20), Qt::AlignCenter,
                     QStringLiteral("Cumulative survival"));
    painter.restore();

    if (series.isEmpty())
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No estimates"));

    // Series, moved apart so that their bars (caps 8 pixels wide) do not overlap; with many
    // releases the spacing shrinks to keep them within 60 pixels of the site.
    const double spacing =
        series.size() > 1 ? std::min(10.0, 60.0 / double(series.size() - 1)) : 0.0;
    painter.setClipRect(plot.adjusted(-40, -6, 40, 6));
    struct Label
    {
        QRectF box;
        QString text;
        QColor color;
    };
    QList<Label> releaseLabels;
    for (qsizetype r = 0; r < series.size(); ++r) {
        const Series& s = series[r];
        const double dodge = (double(r) - double(series.size() - 1) / 2.0) * spacing;
        QPainterPath line;
        for (qsizetype i = 0; i < s.points.size(); ++i) {
            const QPointF at(xOf(s.points[i].km) + dodge, yOf(s.points[i].survival));
            if (i == 0 || s.points[i].afterGap)
                line.moveTo(at);
            else
                line.lineTo(at);
        }
        // The release point carries the release's name, above it (the lines run down from it)
        // and clear of the names placed before.
        if (s.released) {
            const QString name = metrics.elidedText(s.name, Qt::ElideRight, 140);
            const double width = metrics.horizontalAdvance(name) + 2;
            QRectF box(xOf(s.points[0].km) + dodge - width / 2, yOf(1.0) - 8 - metrics.height(),
                       width, metrics.height());
            for (bool moved = true; moved;) {
                moved = false;
                for (const auto& [other, text, color] : releaseLabels)
                    if (other.intersects(box)) {
                        box.moveBottom(other.top() - 1);
                        moved = true;
                    }
            }
            releaseLabels.append({box, name, s.color.darker(130)});
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(s.color, 2.0));
        painter.drawPath(line);
        for (const Point& point : s.points) {
            const double x = xOf(point.km) + dodge;
            if (point.hasInterval) {
                painter.setPen(QPen(s.color, 1.5));
                painter.drawLine(QPointF(x, yOf(point.lcl)), QPointF(x, yOf(point.ucl)));
                painter.drawLine(QPointF(x - 4, yOf(point.lcl)), QPointF(x + 4, yOf(point.lcl)));
                painter.drawLine(QPointF(x - 4, yOf(point.ucl)), QPointF(x + 4, yOf(point.ucl)));
            }
            // The release point, 1 by definition, is a square; an estimate without an interval
            // is drawn hollow.
            if (!point.estimate) {
                painter.setPen(QPen(s.color.darker(130), 1.0));
                painter.setBrush(s.color);
                painter.drawRect(QRectF(x - 4.0, yOf(point.survival) - 4.0, 8.0, 8.0));
                continue;
            }
            painter.setPen(QPen(point.hasInterval ? s.color.darker(130) : s.color, 1.5));
            painter.setBrush(point.hasInterval ? QBrush(s.color) : QBrush(Qt::white));
            painter.drawEllipse(QPointF(x, yOf(point.survival)), 4.0, 4.0);
        }
    }
    painter.setClipping(false);
    for (const auto& [box, text, color] : releaseLabels) {
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, text);
    }

    // Legend.
    const int legendLeft = plot.right() + 25;
    int y = plot.top();
    painter.setPen(Qt::black);
    painter.drawText(QPoint(legendLeft, y + 4), QStringLiteral("Release"));
    y += 22;
    for (const Series& s : series) {
        if (y > plot.bottom() - 10) {
            painter.setPen(Qt::black);
            painter.drawText(QPoint(legendLeft, y), QStringLiteral("…"));
            break;
        }
        painter.setPen(QPen(s.color, 2.0));
        painter.drawLine(legendLeft, y, legendLeft + 24, y);
        painter.setBrush(s.color);
        painter.drawEllipse(QPointF(legendLeft + 12, y), 4.0, 4.0);
        painter.setPen(Qt::black);
        painter.drawText(
            QPoint(legendLeft + 32, y + 5),
            metrics.elidedText(s.name, Qt::ElideRight, size.width() - legendLeft - 40));
        y += 20;
    }
    painter.end();
    return image;
}

QList<QPair<qsizetype, QString>> SurvivalChart::siteLabels(const QList<double>& x,
                                                           const QStringList& names, double gap)
{
    QList<QPair<qsizetype, QString>> labels;
    for (qsizetype i = 0; i < x.size() && i < names.size(); ++i) {
        if (!labels.isEmpty() && x[i] - x[labels.last().first] < gap)
            labels.last().second += QStringLiteral(", ") + names[i];
        else
            labels.append({i, names[i]});
    }
    return labels;
}

} // namespace kd
