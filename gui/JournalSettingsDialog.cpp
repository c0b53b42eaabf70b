#include "JournalSettingsDialog.h"

#include "journal/JournalLocation.h"
#include "journal/JournalReach.h"
#include "journal/SeedSeal.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

namespace {
// A line edit with a Browse... button after it.
QWidget* WithBrowseButton(QLineEdit* edit, const QString& buttonName, QWidget* parent,
                          const std::function<void()>& browse)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    auto* button = new QPushButton(QObject::tr("Browse..."), row);
    button->setObjectName(buttonName);
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, row, browse);
    layout->addWidget(button);
    return row;
}

QLabel* Hint(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}
} // namespace

JournalSettingsDialog::JournalSettingsDialog(const JournalSetting& setting,
                                             const QString& dataFolderJournal, QWidget* parent)
    : QDialog(parent), m_journalEdit(new QLineEdit(setting.journal, this)),
      m_sealToEdit(new QLineEdit(setting.sealTo, this)), m_problemText(new QLabel(this))
{
    setWindowTitle(tr("Journal"));
    m_journalEdit->setObjectName(QStringLiteral("journalEdit"));
    m_journalEdit->setPlaceholderText(dataFolderJournal);
    m_journalEdit->setMinimumWidth(fontMetrics().averageCharWidth() * 50);
    m_sealToEdit->setObjectName(QStringLiteral("sealToEdit"));
    m_sealToEdit->setPlaceholderText(tr("Seeds are not sealed"));
    m_problemText->setObjectName(QStringLiteral("problemText"));
    m_problemText->setWordWrap(true);
    m_problemText->setStyleSheet(QStringLiteral("color: #b00020"));
    m_problemText->hide();

    auto* form = new QFormLayout;
    form->addRow(tr("&Journal:"),
                 WithBrowseButton(m_journalEdit, QStringLiteral("journalBrowseButton"), this,
                                  [this] { chooseJournalFile(); }));
    form->addRow(QString(),
                 Hint(tr("Empty: this PC's journal in its Data folder. A fleet's journal: a "
                         "PostgreSQL connection string or URI (service=tokens, "
                         "postgresql://server/tokens), or the path of a journal file."),
                      this));
    form->addRow(tr("&Seal seeds to:"),
                 WithBrowseButton(m_sealToEdit, QStringLiteral("sealToBrowseButton"), this,
                                  [this] { chooseCertificate(); }));
    form->addRow(QString(),
                 Hint(tr("The fleet's certificate (PEM or DER): each seed is sealed to it in the "
                         "journal before it is sent to a token. Only the holder of its private "
                         "key can read the seeds back."),
                      this));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &JournalSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &JournalSettingsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(Hint(tr("The station uses a changed journal from its next start."), this));
    layout->addWidget(m_problemText);
    layout->addWidget(buttons);
}

JournalSetting JournalSettingsDialog::setting() const
{
    return {m_journalEdit->text().trimmed(), m_sealToEdit->text().trimmed()};
}

void JournalSettingsDialog::accept()
{
    const QString why = problem();
    m_problemText->setText(why);
    m_problemText->setVisible(!why.isEmpty());
    if (why.isEmpty())
        QDialog::accept();
}

QString JournalSettingsDialog::problem() const
{
    const JournalSetting chosen = setting();
    const JournalLocation location{chosen.journal, {}};
    if (!chosen.journal.isEmpty() && !location.isServer()) {
        if (const JournalResult<void> file = CheckJournalReachable(location); !file.ok())
            return tr("The journal %1 cannot be used: %2.").arg(chosen.journal, file.error());
    }
    if (!chosen.sealTo.isEmpty()) {
        if (const auto certificate = SeedSeal::load(chosen.sealTo); !certificate.ok())
            return certificate.error();
    }
    return {};
}

void JournalSettingsDialog::chooseJournalFile()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Journal file"), m_journalEdit->text(), tr("Journal (*.sqlite);;All files (*)"),
        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        m_journalEdit->setText(path);
}

void JournalSettingsDialog::chooseCertificate()
{
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Fleet certificate"), m_sealToEdit->text(),
                                     tr("Certificates (*.pem *.crt *.cer *.der);;All files (*)"));
    if (!path.isEmpty())
        m_sealToEdit->setText(path);
}
