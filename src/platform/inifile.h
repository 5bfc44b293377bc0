#pragma once
// Settings files in the Windows INI shape ("[Section]", "key=value", CR LF, values
// unquoted), so a file carried over from another machine reads and is written back in
// the same shape. Section and key names match case-insensitively, as on Windows.
// Lines we do not understand (comments, unknown sections and keys) are kept in place
// and in order; every write replaces the file atomically.
#include <QByteArray>
#include <QString>
#include <vector>

namespace tarvik {

class TIniFile {
public:
    // Largest settings file read; real ones are a few hundred bytes.
    static constexpr qint64 kMaxFileSize = 1 << 20;

    // Loads the file when it exists; a missing or unreadable file reads as empty. Only a
    // regular file of at most kMaxFileSize bytes is read: a FIFO would block start-up, and
    // a device such as /dev/zero would never end.
    explicit TIniFile(const QString& path);

    const QString& FileName() const { return path_; }
    // Why an existing file was not read ("... is not a regular file; ..."), or empty when it
    // was read or does not exist. The caller tells the user.
    const QString& LoadError() const { return loadError_; }
    // Why the last file update failed, in the system's words; empty after a good one.
    const QString& WriteError() const { return writeError_; }

    // Decimal with optional sign (also "$1F" / "0x1F" hexadecimal); anything else, an
    // empty value or a missing key yields the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // Read as an integer: any non-zero value is true.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    // Surrounding blanks are trimmed and one pair of matching quotes removed.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;

    // Each write updates the file at once (unless a Batch is open) and reports whether
    // the file could be written. The in-memory value changes either way.
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value);
    bool WriteString(const QString& section, const QString& key, const QString& value);

    // Collects the writes of its lifetime into one file update.
    class Batch {
    public:
        explicit Batch(TIniFile& ini) : ini_(ini) { ++ini_.batchDepth_; }
        ~Batch();
        // Writes now; false when the file could not be written.
        bool Commit();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        TIniFile& ini_;
        bool committed_ = false;
    };

    // The whole file as it would be written (CR LF line ends).
    QByteArray Serialize() const;
    // Re-reads from memory; used by the constructor and by tests.
    void Parse(const QByteArray& text);
    // Writes the file now (atomically: a temporary file renamed over the old one). Refused
    // when the file exists but was not read (LoadError), so it is never replaced blindly.
    bool UpdateFile();

private:
    struct Line {
        QByteArray raw;    // the line as read, without its line end
        QByteArray key;    // trimmed key for key=value lines, empty otherwise
        QByteArray value;  // the value as written after '='
    };
    struct Section {
        QByteArray name;  // empty for the lines before the first header
        bool hasHeader = false;
        QByteArray header;  // the header line as read
        std::vector<Line> lines;
    };

    const Section* FindSection(const QByteArray& name) const;
    Section* FindSection(const QByteArray& name);
    const Line* FindLine(const QString& section, const QString& key) const;
    bool Write(const QString& section, const QString& key, const QByteArray& value);
    // Sets a key in memory only.
    void Put(const QString& section, const QString& key, const QByteArray& value);
    // The file as it is on disk now (empty when there is none); false with `error` when it
    // exists but cannot be used.
    bool ReadFromDisk(QByteArray& data, QString& error) const;

    // Every key this run wrote, in order: laid over the file as it is when written.
    struct Written {
        QString section, key;
        QByteArray value;
    };
    std::vector<Written> written_;

    QString path_;
    QString loadError_;
    QString writeError_;
    bool bom_ = false;
    std::vector<Section> sections_;
    int batchDepth_ = 0;
    bool pending_ = false;
};

}  // namespace tarvik
