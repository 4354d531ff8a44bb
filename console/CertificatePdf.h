#pragma once

#include <QString>

#include "RunRecord.h"

// The unit's certificate as a one-page A4 PDF, laid out from the same page as the HTML
// certificate, in the console's Chinese faces (embedded in the file). False with the reason
// when the file cannot be written.
bool WriteCertificatePdf(const RunRecord& run, const QString& file, QString* error);
