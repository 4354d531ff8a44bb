#include "TrafficTableModel.h"

#include <QColor>
#include <QTime>

#include <algorithm>

#include "TrafficDecoder.h"

namespace {

// How many frames back the frame sent before a bootloader frame is looked for.
constexpr int kPreviousSentSearch = 4;
constexpr std::int64_t kMsPerDay = 24 * 3600 * 1000;

QColor VerdictColour(Verdict verdict) {
    switch (verdict) {
        case Verdict::None:
            return {};
        case Verdict::Good:
            return QColor(0, 128, 0);
        case Verdict::Foreign:
        case Verdict::Exception:
        case Verdict::LeadingBytes:
        case Verdict::ExtraBytes:
        case Verdict::Late:
            return QColor(200, 110, 0);
        default:
            return QColor(210, 0, 0);
    }
}

}  // namespace

TrafficTableModel::TrafficTableModel(const TrafficRing& live, std::function<std::uint32_t()> now,
                                     QObject* parent)
    : QAbstractTableModel(parent), live_(live), now_(std::move(now)), copy_(live.Capacity()) {
    rows_.reserve(static_cast<std::size_t>(copy_.Capacity()));
}

bool TrafficTableModel::Follow() {
    baseMsOfDay_ = QTime::currentTime().msecsSinceStartOfDay();
    baseTick_ = now_();
    const std::uint64_t from = std::max(copy_.Last() + 1, live_.First());
    if (from > live_.Last()) {
        return false;
    }
    for (std::uint64_t seq = from; seq <= live_.Last(); ++seq) {
        const TrafficFrame* frame = live_.Find(seq);
        TrafficFrame& copy = copy_.Push(frame->link, frame->direction, frame->tickMs, frame->bytes,
                                        frame->KeptBytes(), frame->verdict, frame->detail);
        copy.length = frame->length;
    }
    // Frames the copy no longer holds leave the top of the table.
    const auto gone = std::lower_bound(rows_.begin(), rows_.end(), copy_.First()) - rows_.begin();
    if (gone > 0) {
        beginRemoveRows({}, 0, static_cast<int>(gone) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + gone);
        endRemoveRows();
    }
    std::vector<std::uint64_t> added;
    for (std::uint64_t seq = std::max(from, copy_.First()); seq <= copy_.Last(); ++seq) {
        if (Shown(*copy_.Find(seq))) {
            added.push_back(seq);
        }
    }
    if (added.empty()) {
        return false;
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    rows_.insert(rows_.end(), added.begin(), added.end());
    endInsertRows();
    return true;
}

void TrafficTableModel::SetErrorsOnly(bool on) {
    if (on == errorsOnly_) {
        return;
    }
    errorsOnly_ = on;
    Rebuild();
}

void TrafficTableModel::Rebuild() {
    beginResetModel();
    rows_.clear();
    for (std::uint64_t seq = copy_.First(); seq <= copy_.Last(); ++seq) {
        if (Shown(*copy_.Find(seq))) {
            rows_.push_back(seq);
        }
    }
    endResetModel();
}

bool TrafficTableModel::Shown(const TrafficFrame& frame) const {
    return !errorsOnly_ || IsError(frame.verdict);
}

const TrafficFrame* TrafficTableModel::FrameAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return nullptr;
    }
    return copy_.Find(rows_[static_cast<std::size_t>(row)]);
}

const TrafficFrame* TrafficTableModel::PreviousSent(const TrafficFrame& frame) const {
    for (int back = 1;
         back <= kPreviousSentSearch && frame.sequence > static_cast<std::uint64_t>(back); ++back) {
        const TrafficFrame* earlier = copy_.Find(frame.sequence - static_cast<std::uint64_t>(back));
        if (earlier != nullptr && earlier->link == frame.link &&
            earlier->direction == TrafficDirection::Sent) {
            return earlier;
        }
    }
    return nullptr;
}

QString TrafficTableModel::TimeText(const TrafficFrame& frame) const {
    const std::int64_t ago = static_cast<std::uint32_t>(baseTick_ - frame.tickMs);
    const std::int64_t ms = ((baseMsOfDay_ - ago) % kMsPerDay + kMsPerDay) % kMsPerDay;
    return QString::asprintf("%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                             static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                             static_cast<int>(ms % 1000));
}

QString TrafficTableModel::Text() const {
    QString text = tr("时间\t线路\t方向\t报文\t解码\t结果\n");
    for (int row = 0; row < rowCount(); ++row) {
        const TrafficFrame& frame = *FrameAt(row);
        text += FrameTextLine(TimeText(frame), frame, PreviousSent(frame)) + QLatin1Char('\n');
    }
    return text;
}

int TrafficTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TrafficTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TrafficTableModel::data(const QModelIndex& index, int role) const {
    const TrafficFrame* frame = FrameAt(index.row());
    if (frame == nullptr) {
        return {};
    }
    if (role == Qt::ForegroundRole && index.column() == kVerdict) {
        return VerdictColour(frame->verdict);
    }
    if (role == Qt::ToolTipRole && index.column() == kBytes) {
        return HexText(*frame);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case kTime:
            return TimeText(*frame);
        case kLink:
            return LinkText(frame->link);
        case kDirection:
            return DirectionText(frame->direction);
        case kBytes:
            return HexText(*frame, kShownBytes);
        case kDecoded:
            return DecodeFrame(*frame, PreviousSent(*frame));
        case kVerdict:
            return VerdictText(frame->verdict);
        default:
            return {};
    }
}

QVariant TrafficTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) {
        return {};
    }
    const QString kHeadings[kColumnCount] = {tr("时间"), tr("线路"), tr("方向"),
                                             tr("报文"), tr("解码"), tr("结果")};
    return section >= 0 && section < kColumnCount ? kHeadings[section] : QString();
}
