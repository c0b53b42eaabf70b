#pragma once

#include "seed/SeedTable.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

// The fixture of the seed file's tests: a seed file written afresh for each
// case in a folder of the test's own, and the table it is loaded into.
class SeedFileTest : public ::testing::Test
{
protected:
    // The file holding exactly these bytes; its path.
    QString write(const std::string& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("seeds.csv"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }

    QTemporaryDir m_dir;
    SeedTable m_table;
};
