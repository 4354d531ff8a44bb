#include "CertificatePdf.h"

#include <QFile>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include "AppStyle.h"
#include "Certificate.h"

bool WriteCertificatePdf(const RunRecord& run, const QString& file, QString* error) {
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = out.errorString();
        return false;
    }
    QPdfWriter pdf(&out);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setTitle(QStringLiteral("VR7C-20NP %1").arg(run.serial));
    pdf.setCreator(QStringLiteral("VR7C-20NP"));
    QTextDocument page;
    QFont font = SongFont(12);
    font.setPointSizeF(10);
    page.setDefaultFont(font);
    page.setHtml(CertificateHtml(run));
    page.print(&pdf);
    out.close();
    if (out.error() != QFileDevice::NoError) {
        *error = out.errorString();
        return false;
    }
    return true;
}
