// Test: the codes a token programmed with the current seed shows now.
#include "MainWindow.h"
#include "otp/CodePreviewDialog.h"
#include "seed/SecretText.h"
#include "seed/SeedText.h"
#include "ui_MainWindow.h"

#include <QDateTime>
#include <cstring>

namespace {

constexpr int kPreviewDigits = 6;

OtpAlgorithm AlgorithmOf(const TimingOptions& timing)
{
    return std::strcmp(timing.algorithmName, "SHA256") == 0 ? OtpAlgorithm::Sha256
                                                            : OtpAlgorithm::Sha1;
}

} // namespace

// The codes follow the window's Algorithm and Time Window choices, since that
// is what a token configured with them displays. The clock is read once: the
// list stays as it was when the dialog opened.
void MainWindow::previewOtp()
{
    QString typed = ui->seedEdit->text();
    ui->seedEdit->forgetHistory(); // the seed is taken: what was typed goes
    QString seed = NormalizeSeedText(typed);
    WipeText(typed);
    if (seed.isEmpty())
        return;

    const TimingOptions timing = readTimingOptions();
    CodePreviewDialog dialog(seed, static_cast<uint64_t>(timing.timeStep), kPreviewDigits,
                             AlgorithmOf(timing), this);
    WipeText(seed);
    const auto now = static_cast<uint64_t>(QDateTime::currentSecsSinceEpoch());
    if (const QString refused = dialog.FillCodeList(now); !refused.isEmpty()) {
        m_operator.showMessage(refused, tr("ERROR"));
        return;
    }
    dialog.exec();
}
