#pragma once

#include "JournalSetting.h"

#include <QDialog>

class QLabel;
class QLineEdit;

// The Journal setting: which journal the station records into and the
// certificate seeds are sealed to. OK keeps only a setting the station can
// start with: a certificate that loads, a journal file whose folder exists.
// A server is not asked here: one that is down now may be up at the start.
class JournalSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    JournalSettingsDialog(const JournalSetting& setting, const QString& dataFolderJournal,
                          QWidget* parent = nullptr);

    JournalSetting setting() const;

public slots:
    void accept() override;

private:
    void chooseJournalFile();
    void chooseCertificate();
    QString problem() const;

    QLineEdit* m_journalEdit;
    QLineEdit* m_sealToEdit;
    QLabel* m_problemText;
};
