#pragma once

#include <QString>

#include "TrafficRing.h"

// One-line Chinese decodes of recorded frames, made only when a frame is shown or saved.

// The frame in words, e.g. "读 4x0000..4x0099 站 1", "回复 200 字节 CRC 正确", "擦除",
// "写 0x08000000 256 字节". previousSent is the frame sent before it on the same link, which
// tells what a bootloader data or page frame belongs to; it may be null.
QString DecodeFrame(const TrafficFrame& frame, const TrafficFrame* previousSent);
// The verdict in a word ("" for a sent frame).
QString VerdictText(Verdict verdict);
QString DirectionText(TrafficDirection direction);
QString LinkText(TrafficLink link);
// The frame's bytes in hexadecimal, at most maxBytes of them followed by "…".
QString HexText(const TrafficFrame& frame, int maxBytes = TrafficFrame::kInlineBytes);
// A tab-separated line: time, link, direction, bytes, decode, verdict.
QString FrameTextLine(const QString& time, const TrafficFrame& frame,
                      const TrafficFrame* previousSent);
