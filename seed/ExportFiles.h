#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <mutex>

// One programmed token, as the export files record it.
struct ExportRecord
{
    QString userName;
    QString serialNumber;
    QString seedText; // normalised Base32, as programmed
    int timeStep = 30;
};

// The three CSV files that carry the seeds of programmed tokens to the
// authentication server: seed in hexadecimal, seed in Base32, and the layout
// of a cloud directory's hardware-token import. One set per run, named by the
// local time it was created; lines end with CR LF, text is UTF-8.
//
// The files hold every seed in clear: they are readable by their owner only,
// and each record is on the disk before append() returns, because a token
// whose seed is lost must be programmed again.
class ExportFiles
{
public:
    enum class OpenResult
    {
        Opened,
        AlreadyOpen,
        HexFailed, // the first file that could not be created
        B32Failed,
        AzureFailed,
    };

    explicit ExportFiles(QString folder);
    ~ExportFiles();
    ExportFiles(const ExportFiles&) = delete;
    ExportFiles& operator=(const ExportFiles&) = delete;

    // Creates the folder and the three files, unless a complete set is open.
    // A set left incomplete by an earlier failure is closed and replaced.
    OpenResult open(const QDateTime& localTime);
    bool isOpen() const;

    // Writes one line to each file that is open. Returns the paths of the
    // files whose write failed, each only the first time it fails.
    QStringList append(const ExportRecord& record);

    void close();

    // Paths of the current set; empty before the first open.
    QString hexPath() const;
    QString b32Path() const;
    QString azurePath() const;

    static QString FileStem(const QDateTime& localTime);

private:
    struct File
    {
        QString path;
        int fd = -1;
        bool failureReported = false;
    };

    void closeFiles();
    static bool OpenFile(File& file, const QString& path);
    static bool WriteLine(File& file, const QByteArray& line);

    mutable std::mutex m_lock;
    const QString m_folder;
    File m_hex;
    File m_b32;
    File m_azure;
    bool m_open = false;
};
