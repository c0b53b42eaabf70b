#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <mutex>
#include <vector>

// One programmed token, as the export files record it.
struct ExportRecord
{
    QString userName;
    QString serialNumber;
    QString seedText; // normalised Base32, as programmed
    int timeStep = 30;
};

// One CSV field as the export files write it (UTF-8 text in, bytes out):
// - a field starting with "=", "+", "-", "@", a tab or a CR gets a "'" in
//   front, so that no spreadsheet runs it as a formula (OWASP's advice);
// - a field holding a ",", a '"', a CR or a LF is then quoted, CSV style.
// Every other field is written byte for byte: the hex and Base32 seeds, the
// time step and the fixed words never start with those characters, so the
// lines importers read are unchanged.
QByteArray ExportCsvField(const QByteArray& utf8);

// The three lines of one record, each ending in CR LF, exactly as append()
// writes them. They hold the seed: wipe() them when done.
struct ExportRecordLines
{
    QByteArray azure;
    QByteArray b32;
    QByteArray hex;
    void wipe();
};
ExportRecordLines MakeExportRecordLines(const ExportRecord& record);

// The column titles, the first line of every .azure.csv file (with CR LF).
extern const char kExportAzureHeader[];

// The three CSV files that carry the seeds of programmed tokens to the
// authentication server: seed in hexadecimal, seed in Base32, and the layout
// of a cloud directory's hardware-token import. One set per run, named by the
// local time it was created; lines end with CR LF, text is UTF-8.
//
// The files hold every seed in clear: the folder is the owner's only (0700),
// the files are regular files of the owner readable by the owner only
// (0600), never reached through a link; each record is on the disk before
// append() returns, and a record that could not be written whole is taken
// back out of its file, because a token whose seed is lost must be
// programmed again. The torn line of a station killed while appending is
// cut off by the next append to the file: a piece of a record (a cut seed)
// must never be read as a record, nor be glued to the next one.
class ExportFiles
{
public:
    enum class OpenResult
    {
        Opened,
        AlreadyOpen,
        HexFailed, // the first file that could not be created (or the folder)
        B32Failed,
        AzureFailed,
    };

    enum class File
    {
        Azure, // in the order append() writes them
        B32,
        Hex,
    };

    enum class RecordState
    {
        Written,     // on the disk, whole
        WriteFailed, // the write or the sync failed; the file does not hold it
        NotOpen,     // no complete set is open; nothing was written
    };

    struct FileOutcome
    {
        File file = File::Azure;
        QString path; // empty when no set was ever opened
        RecordState state = RecordState::NotOpen;
        int error = 0; // errno of a failed write
    };

    // What became of one record in each of the three files.
    struct AppendResult
    {
        std::array<FileOutcome, 3> files; // Azure, B32, Hex

        // True when the record is in all three files.
        bool complete() const;
        // The paths of the files that miss the record (a file's name in words
        // when no set was ever opened).
        QStringList missingPaths() const;
        // "hex, b32, azure" style list of the files that miss it, for a log row.
        QString missingNames() const;
        // The operator's message for a token whose record is not in all three
        // files, one paragraph per missing file; empty when complete():
        // "Failed to write the seed file <path>\nThe record of token <serial>
        // is missing from it."
        QString message(const QString& serialNumber) const;
    };

    explicit ExportFiles(QString folder);
    ~ExportFiles();
    ExportFiles(const ExportFiles&) = delete;
    ExportFiles& operator=(const ExportFiles&) = delete;

    // Creates the folder and the three files, unless a complete set is open.
    // A set that cannot be opened whole (a file cannot be created, is
    // refused, or the azure file's column titles cannot be written) is closed
    // at once and not used: append() then writes nothing and reports the
    // record missing from all three files. reason, when given, receives why
    // (for the second line of the message; empty on success), such as
    // "/path/Data/Seed-....hex.csv is a link". The temporary files that
    // killed PSKC writers left in the folder are removed on the way
    // (PskcTemporary.h).
    OpenResult open(const QDateTime& localTime, QString* reason = nullptr);
    bool isOpen() const;

    // The operator's message for a failed open: the design's first line
    // ("Failed to create HEX seed file", "... B32 ...", "... Azure ...")
    // and the reason on a second line. Empty for Opened and AlreadyOpen.
    static QString OpenFailureMessage(OpenResult result, const QString& reason);

    // Writes one line to each of the three files, every time: every file that
    // misses the record is reported, for every record.
    AppendResult appendRecord(const ExportRecord& record);

    // The paths of the files that miss the record (appendRecord().missingPaths()),
    // for every record, every time; empty when the record is in all three.
    QStringList append(const ExportRecord& record);

    void close();

    // Writes the records of a whole run (station export) to one file of a
    // new set, the file asked for alone: the lines appendRecord() would
    // write, in a temporary file beside it that is synced, renamed into place
    // and its folder synced, once for all records. The folder and the file
    // are hardened as open() does; a file already of that name is left as it
    // is and refused. On any failure no file of that name is left behind.
    // Returns why not, or empty; path receives the file's path.
    static QString WriteRun(const QString& folder, const QDateTime& localTime, File file,
                            const std::vector<ExportRecord>& records, QString& path);

    // Paths of the current set (or of the set whose open failed last); empty
    // before the first open and after close().
    QString hexPath() const;
    QString b32Path() const;
    QString azurePath() const;

    static QString FileStem(const QDateTime& localTime);

private:
    struct Stream
    {
        QString path;
        int fd = -1;
    };

    void closeFiles();
    bool openSet(const QDateTime& localTime, OpenResult& failure, QString& reason);

    mutable std::mutex m_lock;
    const QString m_folder;
    Stream m_hex;
    Stream m_b32;
    Stream m_azure;
    bool m_open = false;
};
