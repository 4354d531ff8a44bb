#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <functional>
#include <vector>

#include "TrafficRing.h"

// The rows of the traffic monitor: a copy of the recorded frames that is brought up to date
// only when asked (never while paused), optionally only the errors. Texts are made when a
// row is shown.
class TrafficTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kTime, kLink, kDirection, kBytes, kDecoded, kVerdict, kColumnCount };
    // Shown in the table (what its column has room for); the tooltip and the saved text
    // carry every byte.
    static constexpr int kShownBytes = 16;

    // now gives the recording clock's tick, so that a frame's tick becomes a time of day.
    TrafficTableModel(const TrafficRing& live, std::function<std::uint32_t()> now,
                      QObject* parent = nullptr);

    // Copies the frames recorded since the last call; gives whether rows were added.
    bool Follow();
    void SetErrorsOnly(bool on);
    bool ErrorsOnly() const { return errorsOnly_; }

    const TrafficFrame* FrameAt(int row) const;
    // The frame sent before this one on the same link, if still held.
    const TrafficFrame* PreviousSent(const TrafficFrame& frame) const;
    QString TimeText(const TrafficFrame& frame) const;
    // Every shown row as tab-separated text, one line each, with a heading line.
    QString Text() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool Shown(const TrafficFrame& frame) const;
    void Rebuild();

    const TrafficRing& live_;
    std::function<std::uint32_t()> now_;
    // The time of day and the recording clock's tick at the last Follow, from which the rows'
    // times are counted back.
    int baseMsOfDay_ = 0;
    std::uint32_t baseTick_ = 0;
    TrafficRing copy_;
    std::vector<std::uint64_t> rows_;  // sequence numbers of the shown frames, oldest first
    bool errorsOnly_ = false;
};
