// What the operator is told when the export files cannot be made.
#include "RecordingOperator.h"
#include "engine/ExportRecording.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(ExportRecording, AFolderThatCannotBeCreatedIsReported)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("Data"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ExportFiles files(dir.filePath("Data"));
    RecordingOperator op;
    OpenExportFiles(files, op);
    const auto messages = op.messages();
    ASSERT_EQ(messages.size(), 1u);
    // The first line names the file, the second says why.
    EXPECT_TRUE(messages[0].text.startsWith("Failed to create HEX seed file\n"))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(dir.filePath("Data"))) << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].caption, "Zentoka/Pelarin Programmer");
    EXPECT_EQ(messages[0].icon, MessageIcon::Stop);
}
