#include "PskcExport.h"

void PskcExport::setKey(std::optional<PskcKey> key)
{
    std::lock_guard lock(m_lock);
    m_key = std::move(key);
}

bool PskcExport::encrypted() const
{
    std::lock_guard lock(m_lock);
    return m_key.has_value();
}

PskcExport::Appended PskcExport::append(const ExportFiles& files, const PskcRecord& record)
{
    const QString hexPath = files.hexPath();
    std::lock_guard lock(m_lock);
    if (hexPath.isEmpty() || !hexPath.endsWith(QLatin1String(".hex.csv")))
        return {QString(), QStringLiteral("No export set is open.")};
    if (!m_file || m_forHexPath != hexPath) {
        const QString path =
            hexPath.chopped(int(sizeof ".hex.csv") - 1) + QStringLiteral(".pskc.xml");
        m_file = std::make_unique<PskcFile>(path, m_key);
        m_forHexPath = hexPath;
    }
    return {m_file->path(), m_file->append(record)};
}
