#include "SeedFile.h"

#include "Base32.h"
#include "SecretText.h"

#include <QFile>
#include <array>
#include <fstream>
#include <string>

namespace {

// Excel and Notepad save "UTF-8" files with this mark in front; it is not part
// of the first serial number.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// A seed field the decoder accepts. The file's own bytes are decoded, and a
// NUL inside the field would hide the rest of it from the decoder.
bool IsAcceptedSeed(const std::string& seed)
{
    if (seed.find('\0') != std::string::npos)
        return false;
    std::array<uint8_t, 512> scratch{};
    const int32_t count = Base32ToBytes(seed.c_str(), scratch.data(), scratch.size());
    WipeMemory(scratch.data(), scratch.size());
    return count > 0;
}

} // namespace

SeedFileResult LoadSeedFile(const QString& path, SeedTable& table)
{
    std::ifstream file(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (!file.is_open())
        return {SeedFileStatus::CannotOpen, 0};
    table.clear();

    std::string line;
    int lineNumber = 0;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (lineNumber == 1 && line.starts_with(kUtf8ByteOrderMark))
            line.erase(0, kUtf8ByteOrderMark.size());
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t comma = line.find(',');
        if (comma == std::string::npos) {
            WipeText(line);
            continue;
        }

        std::string seed = line.substr(comma + 1);
        const bool accepted = IsAcceptedSeed(seed);
        if (accepted)
            table.set(QString::fromUtf8(line.data(), static_cast<qsizetype>(comma)),
                      QString::fromUtf8(seed));
        WipeText(seed);
        WipeText(line);
        if (!accepted)
            return {SeedFileStatus::BadSeed, lineNumber};
    }
    if (file.bad())
        return {SeedFileStatus::ReadError, lineNumber + 1};
    return {SeedFileStatus::Loaded, 0};
}
