#pragma once

// The Logger's picture of its run: one chart per logged quantity, stacked on one time axis, one
// line per logged cell, fed with exactly the rows the log file got.
#include "logging/logformat.h"

#include <QWidget>

#include <memory>
#include <vector>

class QDateTime;
class QLabel;
class QVBoxLayout;

class LogChart : public QWidget
{
    Q_OBJECT

public:
    explicit LogChart(QWidget *parent = nullptr);
    ~LogChart() override;

    // Clears the picture and gives it one line per enabled cell, named as the cell's column.
    void startRun(const LogEnables &enabled);
    // A row the log file got: the values of the run's cells in these records, at this time.
    void addRow(const QDateTime &time, const ChannelData *records);
    // Writes the charts as they are shown to a PNG file; the reason when it did not land.
    QString saveImage(const QString &fileName);

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void queueAlignment();
    void alignPlotAreas();
    struct Plot;
    void showValueRange(Plot &plot);
    void showNote();

    std::vector<std::unique_ptr<Plot>> plots;
    QVBoxLayout *stack;
    QLabel *note; // which lines have gaps, and why
    qint64 firstRowMs = 0;
    qint64 timeEndMs = 0;
    bool hasRows = false;
    bool alignmentQueued = false;
};
