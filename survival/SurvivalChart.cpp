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
};

struct Series
{
    QString name;
    QColor color;
    QList<Point> points;
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
            series.points.append({release.riverKm, 1.0, false, 0.0, 0.0});
        const auto& cumulative = release.fit.cumulativeSurvival;
        for (size_t i = 0; i < cumulative.size() && qsizetype(i) < result.siteRiverKm.size(); ++i) {
            const CjsEstimate& s = cumulative[i];
            // What the data cannot tell is not drawn.
            if (s.identifiable && std::isfinite(result.siteRiverKm[qsizetype(i)]))
                series.points.append(
                    {result.siteRiverKm[qsizetype(i)], s.value, s.hasInterval, s.lcl, s.ucl});
        }
        all.append(series);
    }
    return all;
}

// Where the plot lies in the image and the kilometre range it shows, upstream (high kilometre)
// on the left.
struct Frame
{
    QRect plot;
    double low = 0.0;
    double high = 1.0;

    double xOf(double km) const { return plot.left() + (high - km) / (high - low) * plot.width(); }
    double yOf(double survival) const { return plot.bottom() - survival * plot.height(); }
};

// The range covers every plotted point and every site, with a little room on both sides.
Frame frameOf(const QList<Series>& series, const SurvivalResult& result, const QSize& size)
{
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
    Frame frame;
    frame.low = low - pad;
    frame.high = high + pad;
    frame.plot = QRect(80, 80, size.width() - 80 - 230, size.height() - 80 - 70);
    return frame;
}

void drawTitle(QPainter& painter, const QFont& font, int width)
{
    QFont titleFont = font;
    titleFont.setPixelSize(16);
    titleFont.setBold(true);
    painter.setFont(titleFont);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 10, width, 26), Qt::AlignCenter,
                     QStringLiteral("Cumulative survival from release, with 95% intervals"));
    painter.setFont(font);
}

void drawGrid(QPainter& painter, const Frame& frame)
{
    const QRect& plot = frame.plot;
    const QColor grid(225, 225, 225);
    for (int i = 0; i <= 5; ++i) {
        const double y = frame.yOf(i / 5.0);
        painter.setPen(grid);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(plot.left() - 5, y), QPointF(plot.left(), y));
        painter.drawText(QRectF(plot.left() - 50, y - 10, 40, 20),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(i / 5.0, 'f', 1));
    }
    const double step = niceStep(frame.high - frame.low, 8);
    for (double km = std::ceil(frame.low / step) * step; km <= frame.high + 1e-9 * step;
         km += step) {
        const double x = frame.xOf(km);
        painter.setPen(grid);
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 5));
        painter.drawText(QRectF(x - 40, plot.bottom() + 7, 80, 18), Qt::AlignCenter,
                         QString::number(km, 'g', 10));
    }
}

// Sites: a dashed line each, named above the plot.
void drawSites(QPainter& painter, const QFont& font, const SurvivalResult& result,
               const Frame& frame)
{
    QPen sitePen(QColor(150, 150, 150));
    sitePen.setStyle(Qt::DashLine);
    QFont siteFont = font;
    siteFont.setPixelSize(11);
    const QFontMetrics siteMetrics(siteFont);
    painter.setFont(siteFont);
    for (qsizetype i = 0; i < result.sites.size() && i < result.siteRiverKm.size(); ++i) {
        const double km = result.siteRiverKm[i];
        if (!std::isfinite(km))
            continue;
        const double x = frame.xOf(km);
        painter.setPen(sitePen);
        painter.drawLine(QPointF(x, frame.plot.top()), QPointF(x, frame.plot.bottom()));
        painter.save();
        painter.translate(x, frame.plot.top() - 4);
        painter.rotate(-35);
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(QPointF(0, 0),
                         siteMetrics.elidedText(result.sites[i], Qt::ElideRight, 90));
        painter.restore();
    }
    painter.setFont(font);
}

void drawAxes(QPainter& painter, const QRect& plot)
{
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
}

// Series, moved apart by a few pixels so that their bars do not hide each other.
void drawSeries(QPainter& painter, const QList<Series>& series, const Frame& frame)
{
    painter.setClipRect(frame.plot.adjusted(-6, -6, 6, 6));
    for (qsizetype r = 0; r < series.size(); ++r) {
        const Series& s = series[r];
        const double dodge = (double(r) - double(series.size() - 1) / 2.0) * 4.0;
        QPainterPath line;
        for (qsizetype i = 0; i < s.points.size(); ++i) {
            const QPointF at(frame.xOf(s.points[i].km) + dodge, frame.yOf(s.points[i].survival));
            if (i == 0)
                line.moveTo(at);
            else
                line.lineTo(at);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(s.color, 2.0));
        painter.drawPath(line);
        for (const Point& point : s.points) {
            const double x = frame.xOf(point.km) + dodge;
            if (point.hasInterval) {
                const double lcl = frame.yOf(point.lcl);
                const double ucl = frame.yOf(point.ucl);
                painter.setPen(QPen(s.color, 1.5));
                painter.drawLine(QPointF(x, lcl), QPointF(x, ucl));
                painter.drawLine(QPointF(x - 4, lcl), QPointF(x + 4, lcl));
                painter.drawLine(QPointF(x - 4, ucl), QPointF(x + 4, ucl));
            }
            painter.setPen(QPen(s.color.darker(130), 1.0));
            painter.setBrush(s.color);
            painter.drawEllipse(QPointF(x, frame.yOf(point.survival)), 4.0, 4.0);
        }
    }
    painter.setClipping(false);
}

void drawLegend(QPainter& painter, const QFontMetrics& metrics, const QList<Series>& series,
                const QRect& plot, int width)
{
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
        painter.drawText(QPoint(legendLeft + 32, y + 5),
                         metrics.elidedText(s.name, Qt::ElideRight, width - legendLeft - 40));
        y += 20;
    }
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
    const Frame frame = frameOf(series, result, size);
    drawTitle(painter, font, size.width());
    drawGrid(painter, frame);
    drawSites(painter, font, result, frame);
    drawAxes(painter, frame.plot);
    if (series.isEmpty())
        painter.drawText(frame.plot, Qt::AlignCenter, QStringLiteral("No estimates"));
    drawSeries(painter, series, frame);
    drawLegend(painter, metrics, series, frame.plot, size.width());
    painter.end();
    return image;
}

} // namespace kd
