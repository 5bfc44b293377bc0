#include "platform/inifile.h"

#include "platform/atomicfile.h"
#include "platform/textdecode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/hexdigit.h"

namespace tarvik {

namespace {

bool SameName(const QByteArray& a, const QByteArray& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QByteArray NameBytes(const QString& s) { return s.trimmed().toUtf8(); }

// Files from Windows machines may be in the ANSI code page rather than UTF-8.
QString DecodeValue(const QByteArray& raw) { return DecodeFileText(raw); }

bool ParseInt(const QByteArray& text, int* out)
{
    QByteArray t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool negative = false;
    int pos = 0;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        pos = 1;
    }
    int base = 10;
    if (t.size() > pos && t[pos] == '$') {
        base = 16;
        pos += 1;
    } else if (t.size() > pos + 1 && t[pos] == '0' && (t[pos + 1] == 'x' || t[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= t.size())
        return false;
    std::uint64_t digits = 0;
    if (!ParseDigits(std::string_view(t.constData() + pos, std::size_t(t.size() - pos)), unsigned(base), 0xFFFFFFFFu,
                     digits))
        return false;
    long long v = static_cast<long long>(digits);
    if (base == 16 && !negative && v > std::numeric_limits<int>::max())
        v -= 0x100000000LL;  // "$FFFFFFFF" is -1, as a 32-bit value written in hex
    if (negative)
        v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

TIniFile::TIniFile(const QString& path) : path_(path)
{
    Parse(QByteArray());
    if (path_.isEmpty())
        return;
    QByteArray data;
    if (ReadFromDisk(data, loadError_))
        Parse(data);
}

bool TIniFile::ReadFromDisk(QByteArray& data, QString& error) const
{
    data.clear();
    // Non-blocking open: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)  // a missing file is simply not there yet
            return true;
        error = QStringLiteral("cannot read the settings file %1: %2; using the defaults")
                    .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = QStringLiteral("cannot read the settings file %1: %2; using the defaults")
                    .arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (!S_ISREG(st.st_mode)) {
        error = QStringLiteral("the settings file %1 is not a regular file; using the defaults").arg(path_);
    } else if (st.st_size > kMaxFileSize) {
        error = QStringLiteral("the settings file %1 is larger than 1 MB; using the defaults").arg(path_);
    } else {
        QFile f;
        // Reads at most one byte past the limit, in case the file grew since fstat.
        if (f.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            data = f.read(kMaxFileSize + 1);
        if (f.error() != QFileDevice::NoError)
            error = QStringLiteral("cannot read the settings file %1: %2; using the defaults")
                        .arg(path_, f.errorString());
        else if (data.size() > kMaxFileSize)
            error = QStringLiteral("the settings file %1 is larger than 1 MB; using the defaults").arg(path_);
    }
    ::close(fd);
    return error.isEmpty();
}

void TIniFile::Parse(const QByteArray& input)
{
    sections_.clear();
    sections_.push_back(Section{});  // lines before the first header
    QByteArray text = input;
    bom_ = text.startsWith("\xEF\xBB\xBF");
    if (bom_)
        text.remove(0, 3);

    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        QByteArray raw = text.mid(start, end - start);
        if (raw.endsWith('\r'))
            raw.chop(1);
        start = next;

        const QByteArray t = raw.trimmed();
        if (t.startsWith('[')) {
            const qsizetype close = t.indexOf(']');
            if (close > 0) {
                Section s;
                s.name = t.mid(1, close - 1).trimmed();
                s.hasHeader = true;
                s.header = raw;
                sections_.push_back(std::move(s));
                continue;
            }
        }
        Line line;
        line.raw = raw;
        if (!t.isEmpty() && t[0] != ';' && t[0] != '#') {
            const qsizetype eq = raw.indexOf('=');
            if (eq > 0) {
                line.key = raw.left(eq).trimmed();
                line.value = raw.mid(eq + 1);
            }
        }
        sections_.back().lines.push_back(std::move(line));
    }
}

const TIniFile::Section* TIniFile::FindSection(const QByteArray& name) const
{
    for (const Section& s : sections_)
        if (s.hasHeader && SameName(s.name, name))
            return &s;  // a repeated section is shadowed by its first occurrence, as on Windows
    return nullptr;
}

TIniFile::Section* TIniFile::FindSection(const QByteArray& name)
{
    return const_cast<Section*>(static_cast<const TIniFile*>(this)->FindSection(name));
}

const TIniFile::Line* TIniFile::FindLine(const QString& section, const QString& key) const
{
    const Section* s = FindSection(NameBytes(section));
    if (!s)
        return nullptr;
    const QByteArray k = NameBytes(key);
    for (const Line& l : s->lines)
        if (!l.key.isEmpty() && SameName(l.key, k))
            return &l;
    return nullptr;
}

bool TIniFile::SectionExists(const QString& section) const { return FindSection(NameBytes(section)) != nullptr; }

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    return FindLine(section, key) != nullptr;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    const Line* l = FindLine(section, key);
    int v;
    if (l && ParseInt(l->value, &v))
        return v;
    return def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const Line* l = FindLine(section, key);
    if (!l)
        return def;
    QByteArray v = l->value.trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return DecodeValue(v);
}

bool TIniFile::Write(const QString& section, const QString& key, const QByteArray& value)
{
    Put(section, key, value);
    written_.push_back({section, key, value});
    if (batchDepth_ > 0) {
        pending_ = true;
        return true;
    }
    return UpdateFile();
}

void TIniFile::Put(const QString& section, const QString& key, const QByteArray& value)
{
    const QByteArray sname = NameBytes(section);
    const QByteArray kname = NameBytes(key);
    Section* s = FindSection(sname);
    if (!s) {
        Section fresh;
        fresh.name = sname;
        fresh.hasHeader = true;
        fresh.header = "[" + sname + "]";
        sections_.push_back(std::move(fresh));
        s = &sections_.back();
    }
    Line* found = nullptr;
    std::size_t lastKey = 0;
    bool anyKey = false;
    for (std::size_t i = 0; i < s->lines.size(); ++i) {
        Line& l = s->lines[i];
        if (l.key.isEmpty())
            continue;
        anyKey = true;
        lastKey = i;
        if (!found && SameName(l.key, kname))
            found = &l;
    }
    if (found) {
        found->value = value;
        found->raw = found->key + "=" + value;  // keeps the file's spelling of the key
    } else {
        Line l;
        l.key = kname;
        l.value = value;
        l.raw = kname + "=" + value;
        // New keys go after the section's last key, ahead of trailing blank or comment lines.
        const std::size_t at = anyKey ? lastKey + 1 : 0;
        s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
    }
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    return Write(section, key, QByteArray::number(value));
}

bool TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    return Write(section, key, value ? "1" : "0");
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    // A line end inside a value would split it into lines of its own on the next read.
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return Write(section, key, v.toUtf8());
}

QByteArray TIniFile::Serialize() const
{
    QByteArray out;
    if (bom_)
        out += "\xEF\xBB\xBF";
    for (const Section& s : sections_) {
        if (s.hasHeader)
            out += s.header + "\r\n";
        for (const Line& l : s.lines)
            out += l.raw + "\r\n";
    }
    return out;
}

bool TIniFile::UpdateFile()
{
    pending_ = false;
    writeError_.clear();
    // A file that exists but was not read would lose everything in it we did not see.
    if (!loadError_.isEmpty()) {
        writeError_ = QStringLiteral("the file was not read at start-up");
        return false;
    }
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath())) {
        writeError_ = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    // Another instance or an editor may have changed the file since it was read: write this
    // run's keys over the file as it is now, not over what it was at start-up.
    QByteArray now;
    QString why;
    if (!ReadFromDisk(now, why)) {
        writeError_ = why;
        return false;
    }
    Parse(now);
    for (const Written& w : written_) Put(w.section, w.key, w.value);
    const QByteArray data = Serialize();
    return SaveFileAtomically(path_, data.constData(), data.size(), &writeError_);
}

TIniFile::Batch::~Batch()
{
    if (!committed_) {
        if (--ini_.batchDepth_ == 0 && ini_.pending_)
            ini_.UpdateFile();
    }
}

bool TIniFile::Batch::Commit()
{
    if (committed_)
        return true;
    committed_ = true;
    if (--ini_.batchDepth_ == 0 && ini_.pending_)
        return ini_.UpdateFile();
    return true;
}

}  // namespace tarvik
