#pragma once

#include <QString>

#include "RunRecord.h"

// A unit's test certificate: one printable page built from a run as it is on record, never
// from what a window shows. The same text serves the HTML file of `vr7c records report` and
// the window's PDF, so it keeps to the HTML and CSS that both a browser and Qt's rich-text
// layout draw alike. Every text from outside (serial number, names, messages) is escaped.

// The run's result as the certificate states it: "合格", "不合格", "错误", ...
QString CertificateVerdict(Verdict verdict);

// The whole page, self-contained: no scripts, no images, no files beside it.
QString CertificateHtml(const RunRecord& run);
