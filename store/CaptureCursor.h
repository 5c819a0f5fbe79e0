#pragma once

#include "store/CaptureRow.h"

#include <QList>
#include <QString>

namespace kd {

// Streams a run's capture rows in their order (release name, tag code, then the sites from the
// highest river kilometre down), so that a run of any size is never held in memory whole.
class CaptureCursor
{
public:
    virtual ~CaptureCursor();

    // The next row; false at the end or after a failure (see errorText).
    virtual bool next(CaptureRow& row) = 0;
    // Empty unless reading failed.
    virtual QString errorText() const { return QString(); }
    // Also fill the rows' length and weight as stored text (only the survival files need it,
    // and turning numbers into text costs time on every row).
    virtual void setMeasureText(bool on) { Q_UNUSED(on); }
};

// A cursor over rows already in memory.
class ListCaptureCursor : public CaptureCursor
{
public:
    explicit ListCaptureCursor(QList<CaptureRow> rows) : rows_(std::move(rows)) {}
    bool next(CaptureRow& row) override;

private:
    QList<CaptureRow> rows_;
    qsizetype at_ = 0;
};

} // namespace kd
