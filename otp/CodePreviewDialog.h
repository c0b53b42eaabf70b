#pragma once

#include "otp/Totp.h"

#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QTreeWidget;

// Dialog 135, "One-Time Password": the codes the seed yields for the ten steps
// before the present one, the present one and the ten after it, computed once.
// The operator compares the selected row with a token's display, closes the
// dialog and presses Test again for fresh codes.
class CodePreviewDialog : public QDialog
{
    Q_OBJECT

public:
    // seed is the normalised seed text; algorithm is the window's Algorithm choice.
    CodePreviewDialog(const QString& seed, uint64_t timeStep, int digits, OtpAlgorithm algorithm,
                      QWidget* parent = nullptr);
    ~CodePreviewDialog() override;

    // Lists the 21 codes around now (seconds since 1970, UTC) and selects the
    // present one. Returns the decoder's message, and lists nothing, when the
    // seed is not valid Base32.
    QString FillCodeList(uint64_t now);
    void AddCodeRow(int32_t offset, uint32_t code);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitListToRows();

    QString m_seed;
    uint64_t m_timeStep;
    int m_digits;
    OtpAlgorithm m_algorithm;
    QLabel* m_caption;
    QTreeWidget* m_otpList;
};
