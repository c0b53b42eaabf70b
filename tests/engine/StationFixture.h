#pragma once

// Stations on a private pcscd, without widgets: vpcd readers and virtual
// tokens that the tests present, lift and read back.
#include "PcscFixture.h"
#include "StationProbe.h"
#include "engine/StationKey.h"
#include "seed/Base32.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <openssl/rand.h>

inline constexpr uint8_t kReadInfo = 0x41;
inline constexpr uint8_t kAuthenticate = 0xCE;
inline constexpr uint8_t kWriteSeed = 0xC5;
inline constexpr uint8_t kConfigure = 0xD4;

inline std::shared_ptr<VirtualToken> Token(const std::string& serial, int maxTries = 5)
{
    VirtualTokenSettings settings;
    settings.serial = serial;
    settings.maxTries = maxTries;
    return std::make_shared<VirtualToken>(settings);
}

inline int Count(const VirtualToken& token, uint8_t ins)
{
    int count = 0;
    for (const auto& command : token.received())
        count += command.size() > 1 && command[1] == ins;
    return count;
}

inline std::vector<uint8_t> SeedBytes(const QString& text)
{
    const ByteString bytes = DecodeBase32(text.toStdString());
    return {bytes.begin(), bytes.end()};
}

// A random seed of 32 Base32 characters (20 bytes).
inline QString RandomSeedText()
{
    uint8_t bytes[20];
    RAND_bytes(bytes, sizeof bytes);
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QString text;
    for (int i = 0; i < 32; ++i)
        text += QLatin1Char(alphabet[bytes[i * 5 / 8] % 32]);
    return text;
}

// Stations on the readers of a private pcscd (two readers per pair),
// recording into a temporary Data folder.
template <int ReaderPairs> class StationFixture : public ::testing::Test
{
public:
    void SetUp() override { ASSERT_TRUE(pcsc.ok()) << pcsc.failure(); }
    void TearDown() override
    {
        // The stations end before the probes they report to.
        op.release();
        for (auto& station : stations)
            station->stopAndWait();
        probes.clear();
        stations.clear();
    }

    Station& connect(int slot = 0, ExportFiles* files = nullptr)
    {
        stations.push_back(std::make_unique<Station>(QString::fromStdString(pcsc.readerName(slot)),
                                                     g_customerKey, op, files ? *files : exports));
        probes.push_back(std::make_unique<StationProbe>(*stations.back()));
        stations.back()->start();
        return *stations.back();
    }
    Station& station(int index = 0) { return *stations.at(index); }
    StationProbe& probe(int index = 0) { return *probes.at(index); }

    bool present(const std::shared_ptr<VirtualToken>& token, int slot = 0, int index = 0)
    {
        return pcsc.insert(slot, token) &&
               probe(index).showsToken(QString::fromStdString(token->state().serial));
    }

    BurnRequest request(const QString& seed, int index = 0) const
    {
        BurnRequest burn;
        burn.serialNumber = stations.at(index)->texts().serialNumber;
        burn.seedText = seed;
        burn.timing.timeStep = 60;
        burn.timing.displayTime = 120;
        std::strcpy(burn.timing.algorithmName, "SHA256");
        burn.exportRecord = true;
        burn.userName = "operator";
        return burn;
    }
    // Presses Burn and waits for the press's work to end.
    bool burn(const BurnRequest& burn, int index = 0)
    {
        const int before = probe(index).burns();
        station(index).burn(burn);
        return probe(index).waitFor([&] { return probe(index).burns() > before; });
    }

    QStringList exportLines(const QString& suffix) const
    {
        const QStringList files =
            QDir(data.path()).entryList({QStringLiteral("*") + suffix}, QDir::Files);
        if (files.size() != 1)
            return {};
        QFile file(QDir(data.path()).filePath(files.first()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }

    PcscFixture pcsc{ReaderPairs}; // first: before any PC/SC call or thread
    HoldingOperator op;
    QTemporaryDir data;
    ExportFiles exports{data.path()};
    std::vector<std::unique_ptr<Station>> stations;
    std::vector<std::unique_ptr<StationProbe>> probes;
};
