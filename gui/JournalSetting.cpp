#include "JournalSetting.h"

#include <QSettings>

namespace {
const QString kJournalKey = QStringLiteral("Journal/journal");
const QString kSealToKey = QStringLiteral("Journal/sealTo");
} // namespace

JournalSetting JournalSetting::read(const QSettings& settings)
{
    return {settings.value(kJournalKey).toString().trimmed(),
            settings.value(kSealToKey).toString().trimmed()};
}

void JournalSetting::write(QSettings& settings) const
{
    settings.setValue(kJournalKey, journal.trimmed());
    settings.setValue(kSealToKey, sealTo.trimmed());
    settings.sync();
}
