#include "ttlabelinfo/labelline.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvik {

namespace {

// Bytes are compared unsigned: lead bytes of code page 932 are >= 0x80 and must not count
// as control characters.
inline bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// The line ends at the first NUL, as the file reader does; without this a NUL inside a
// line would make the splitter produce empty fields forever.
std::string_view UpToNul(std::string_view text)
{
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::string ErrnoText(const std::string& what, const std::string& path)
{
    return what + " \"" + path + "\": " + std::strerror(errno);
}

std::string SizeText(std::size_t bytes)
{
    if (bytes % (1u << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
}

}  // namespace

std::string TrimLabelText(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlankOrControl(text[b]))
        ++b;
    while (e > b && IsBlankOrControl(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::vector<std::string> SplitLabelLine(std::string_view input)
{
    const std::string_view text = UpToNul(input);
    const std::size_t n = text.size();
    std::vector<std::string> fields;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < n && IsBlankOrControl(text[i]))
            ++i;
    };

    skipBlanks();
    while (i < n) {
        std::string field;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;  // closing quote
                    break;
                }
                field += text[i++];
            }
        } else {
            const std::size_t start = i;
            while (i < n && !IsBlankOrControl(text[i]) && text[i] != ',')
                ++i;
            field.assign(text.substr(start, i - start));
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (i < n && text[i] == ',') {
            ++i;
            skipBlanks();
            // A trailing comma, even with blanks after it, still announces a last field.
            if (i == n)
                fields.emplace_back();
        }
    }
    return fields;
}

std::string JoinLabelLine(const std::vector<std::string>& fields)
{
    std::string out;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        if (k > 0)
            out += ',';
        // A NUL would end the file's text on reading and lose every later label: drop it.
        std::string clean;
        const bool hasNul = fields[k].find('\0') != std::string::npos;
        if (hasNul) {
            clean = fields[k];
            std::erase(clean, '\0');
        }
        const std::string& f = hasNul ? clean : fields[k];
        if (fields.size() == 1 && f.empty())
            out += "\"\"";  // nothing at all would read back as no field
        else
            AppendLabelField(out, f);
    }
    return out;
}

void AppendLabelField(std::string& out, std::string_view field)
{
    bool quote = false;
    for (char c : field) {
        if (IsBlankOrControl(c) || c == '"' || c == ',') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::vector<std::string> SplitTextLines(std::string_view input)
{
    const std::string_view text = UpToNul(input);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

bool IsIgnoredLabelLine(std::string_view line)
{
    for (char c : line)
        if (!IsBlankOrControl(c))
            return false;
    return true;
}

bool IsDaqOffLabelLine(std::string_view line) { return line.substr(0, 3) == "// "; }

std::optional<std::vector<std::string>> LabelRowFromLine(std::string_view line)
{
    if (IsIgnoredLabelLine(line))
        return std::nullopt;
    std::string text;
    if (IsDaqOffLabelLine(line)) {
        text = "-,";
        text += line.substr(3);
    } else {
        text = "V,";
        text += line;
    }
    std::vector<std::string> cells = SplitLabelLine(text);
    cells.resize(kLabelRowCellCount);
    return cells;
}

std::string FormatLabelTable(const std::vector<std::vector<std::string>>& rows)
{
    std::string out;
    std::vector<std::string> fields(kLabelFieldCount);
    for (const auto& row : rows) {
        for (int k = 0; k < kLabelFieldCount; ++k)
            fields[k] = k + 1 < static_cast<int>(row.size()) ? TrimLabelText(row[k + 1]) : std::string();
        const bool daqOn = !row.empty() && TrimLabelText(row[0]) == "V";
        if (!daqOn)
            out += "// ";
        out += JoinLabelLine(fields);
        out += "\r\n";
    }
    return out;
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error, std::size_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = ErrnoText("Cannot open file", path);
        return false;
    }
    auto tooLarge = [&] {
        if (error)
            *error = "Cannot read file \"" + path + "\": larger than " + SizeText(maxBytes);
        ::close(fd);
        return false;
    };
    // A regular file says its size up front; devices and pipes are cut off while reading.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > maxBytes)
        return tooLarge();
    std::string data;
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = ErrnoText("Cannot read file", path);
            ::close(fd);
            return false;
        }
        if (got == 0)
            break;
        if (static_cast<std::size_t>(got) > maxBytes - data.size())
            return tooLarge();
        data.append(buf, static_cast<std::size_t>(got));
    }
    ::close(fd);
    bytes = std::move(data);
    return true;
}

bool ReadLabelLines(const std::string& path, std::vector<std::string>& lines, std::string* error)
{
    std::string bytes;
    if (!ReadFileBytes(path, bytes, error))
        return false;
    lines = SplitTextLines(bytes);
    return true;
}

bool IsLabelLine(std::string_view line)
{
    if (IsDaqOffLabelLine(line))
        line.remove_prefix(3);
    const std::vector<std::string> fields = SplitLabelLine(line);
    if (fields.size() < 5)
        return false;
    const std::string endian = TrimLabelText(fields[4]);
    return endian == "Big" || endian == "Little";
}

std::string LabelFileLookAlike(const std::vector<std::string>& lines)
{
    constexpr std::size_t kLinesLooked = 50;
    for (std::size_t i = 0; i < lines.size() && i < kLinesLooked; ++i) {
        const std::string line = TrimLabelText(lines[i]);
        std::string_view l = line;
        if (l.starts_with("BO_ ") || l.starts_with("VERSION ") || l.starts_with("NS_ ") ||
            l.starts_with("BU_:") || l.starts_with("SG_ "))
            return "a DBC file";
        if (l.starts_with("date ") || l.starts_with("base hex") || l.starts_with("base dec") ||
            l.starts_with("Begin Triggerblock") || l.starts_with("Begin TriggerBlock"))
            return "an ASC log";
        if (l.starts_with("time(s),"))
            return "an acquisition CSV";
        // candump -l: "(1712345678.123456) can0 123#0011"
        if (l.starts_with("(") && l.find(") ") != std::string_view::npos && l.find('#') != std::string_view::npos)
            return "a candump log";
    }
    return {};
}

bool CheckLabelFileLines(const std::vector<std::string>& lines, const std::string& path,
                         std::string* error, std::string_view dbcHint)
{
    bool anyLine = false;
    for (const std::string& line : lines) {
        if (IsIgnoredLabelLine(line))
            continue;
        if (IsLabelLine(line))
            return true;
        anyLine = true;
    }
    if (!anyLine)
        return true;
    if (error) {
        *error = path + " is not a label file (no line has the 12 label fields";
        const std::string like = LabelFileLookAlike(lines);
        if (!like.empty()) {
            *error += "; it looks like " + like;
            if (like == "a DBC file" && !dbcHint.empty()) {
                *error += " \u2014 ";
                error->append(dbcHint);
            }
        }
        *error += ")";
    }
    return false;
}

bool WriteLabelTable(const std::string& path, const std::vector<std::vector<std::string>>& rows,
                     std::string* error)
{
    return WriteFileAtomically(path, FormatLabelTable(rows), error);
}

std::string LabelBackupFileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return path + ".bak";
    return path.substr(0, dot) + ".bak";
}

bool RenewLabelFile(const std::string& path, const std::vector<std::vector<std::string>>& rows,
                    std::string* error)
{
    const std::string backup = LabelBackupFileName(path);
    std::string old;
    if (backup != path && ReadFileBytes(path, old))
        WriteFileAtomically(backup, old);  // a failed backup does not stop the renewal
    return WriteLabelTable(path, rows, error);
}

}  // namespace tarvik
