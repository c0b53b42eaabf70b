#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The fixture of the export files' tests: a folder of the test's own, the
// Data folder in it (not made yet, nor its parent), and the files of the set
// opened at 2024-03-05 08:07:06 local time, the tests' start.
class ExportFolderTest : public ::testing::Test
{
protected:
    QString folder() const { return m_dir.filePath(QStringLiteral("Tools/Data")); }

    // The file of the set with this ending: ".hex.csv", ".b32.csv", ".azure.csv".
    QString path(const char* suffix) const
    {
        return QDir(folder()).filePath(QStringLiteral("Seed-2024-03-05-08-07-06") +
                                       QLatin1String(suffix));
    }

    // What another program sees in the file right now.
    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<cannot open>");
    }

    QTemporaryDir m_dir;
};
