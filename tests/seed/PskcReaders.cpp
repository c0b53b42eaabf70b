#include "PskcReaders.h"

#include "ChildProgram.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <set>

namespace {

struct Run
{
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run RunProgram(const QString& program, const QStringList& arguments)
{
    ChildProgram child(program, arguments);
    Run run;
    run.started = child.started();
    if (!run.started)
        return run;
    child.closeInput();
    run.exitCode = child.finish(std::chrono::minutes(2));
    run.out = child.output();
    run.err = child.errorOutput();
    return run;
}

QString Hex(const ByteString& bytes)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<qsizetype>(bytes.size()))
                                   .toHex());
}

} // namespace

::testing::AssertionResult PskctoolValidates(const QString& path)
{
    const Run run = RunProgram(QStringLiteral("pskctool"), {QStringLiteral("--validate"), path});
    if (!run.started)
        return ::testing::AssertionFailure()
               << "pskctool cannot be started: install the package pskctool";
    if (run.exitCode != 0 || run.out.trimmed() != "OK")
        return ::testing::AssertionFailure()
               << "pskctool --validate " << path.toStdString() << " exit " << run.exitCode << ": "
               << run.out.toStdString() << run.err.toStdString();
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadWithPythonPskc(const QString& path, const QString& keyHex,
                                              QJsonObject& read)
{
    QStringList arguments{QStringLiteral(STATION_PSKC_READER), path};
    if (!keyHex.isEmpty())
        arguments << keyHex;
    const Run run = RunProgram(QStringLiteral("/usr/bin/python3"), arguments);
    if (!run.started)
        return ::testing::AssertionFailure() << "/usr/bin/python3 cannot be started";
    if (run.exitCode != 0)
        return ::testing::AssertionFailure()
               << "python-pskc cannot read " << path.toStdString() << " (exit " << run.exitCode
               << "; the package python3-pskc?): " << run.err.toStdString();
    QJsonParseError error{};
    read = QJsonDocument::fromJson(run.out, &error).object();
    if (error.error != QJsonParseError::NoError)
        return ::testing::AssertionFailure()
               << "pskc_read.py printed no JSON: " << run.out.toStdString();
    return ::testing::AssertionSuccess();
}

void ExpectDocumentHolds(const QString& path, const std::vector<PskcRecord>& records,
                         const QString& keyHex, const QString& keyName)
{
    EXPECT_TRUE(PskctoolValidates(path));
    QJsonObject read;
    ASSERT_TRUE(ReadWithPythonPskc(path, keyHex, read));
    ExpectReadHolds(read, records, keyHex, keyName);
}

void ExpectReadHolds(const QJsonObject& read, const std::vector<PskcRecord>& records,
                     const QString& keyHex, const QString& keyName)
{
    const QJsonArray keys = read.value("keys").toArray();
    ASSERT_EQ(keys.size(), static_cast<qsizetype>(records.size()));
    const bool encrypted = !keyHex.isEmpty();
    if (encrypted) {
        EXPECT_EQ(read.value("key_name").toString(), keyName);
        EXPECT_EQ(read.value("encryption_algorithm").toString(),
                  "http://www.w3.org/2001/04/xmlenc#aes128-cbc");
        EXPECT_EQ(read.value("mac_algorithm").toString(),
                  "http://www.w3.org/2001/04/xmldsig-more#hmac-sha256");
        EXPECT_EQ(read.value("mac_key_length").toInt(), 32);
    }
    std::set<QString> ids, ivs;
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        const QJsonObject key = keys[static_cast<qsizetype>(i)].toObject();
        const PskcRecord& record = records[i];
        EXPECT_EQ(key.value("serial").toString(), record.serialNumber);
        EXPECT_EQ(key.value("secret").toString(), Hex(record.seed));
        EXPECT_EQ(key.value("algorithm").toString(), "urn:ietf:params:xml:ns:keyprov:pskc:totp");
        EXPECT_EQ(key.value("suite").toString(), record.algorithm);
        EXPECT_EQ(key.value("digits").toInt(), record.digits);
        EXPECT_EQ(key.value("encoding").toString(), "DECIMAL");
        EXPECT_EQ(key.value("time_offset").toInt(-1), 0);
        EXPECT_EQ(key.value("time_interval").toInt(), record.timeStep);
        EXPECT_EQ(key.value("manufacturer").toString(), "Morvane");
        EXPECT_TRUE(ids.insert(key.value("id").toString()).second) << "Key Id given twice";
        EXPECT_EQ(key.value("encrypted").toBool(), encrypted);
        if (encrypted) {
            EXPECT_TRUE(key.value("mac_over_iv_and_ciphertext").toBool());
            EXPECT_TRUE(ivs.insert(key.value("iv").toString()).second) << "an IV used twice";
        }
    }
}
