// "PSKC Key...": the pre-shared key of the PSKC export, typed for this
// window's life and never stored.
#include "MainWindow.h"
#include "ProgrammingMessages.h"
#include "seed/SecretText.h"
#include "ui_MainWindow.h"

#include <QInputDialog>

void MainWindow::askPskcKey()
{
    bool accepted = false;
    QString text =
        QInputDialog::getText(this, tr("PSKC Key"),
                              tr("Pre-shared key for the PSKC file, 32 hexadecimal digits\n"
                                 "(empty: the seeds are written in clear):"),
                              QLineEdit::Password, QString(), &accepted);
    if (!accepted) {
        WipeText(text);
        return;
    }
    std::optional<PskcKey> key;
    if (!text.trimmed().isEmpty()) {
        QString problem;
        key = ParsePskcKey(text, &problem);
        WipeText(text);
        if (!key) {
            m_operator.showMessage(problem, kErrorCaption);
            return;
        }
    }
    m_pskc.setKey(std::move(key));
    ui->pskcKeyButton->setText(m_pskc.encrypted() ? tr("PSKC Key (set)...") : tr("PSKC Key..."));
}
