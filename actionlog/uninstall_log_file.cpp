// The uninstall log "Uninstall.ulog": written at the end of a successful installation, read
// back from an earlier one, and read by the product's uninstaller. Its bytes are fixed:
// UTF-16LE with a byte-order mark, six "// " header lines and one numbered line per record,
// every line ending in "\r\n".
#include "actionlog/action_log.h"

#include "actionlog/journal.h"
#include "actionlog/paths_equivalent.h"
#include "product/product_identity.h"
#include "support/strings.h"
#include "support/unique_resource.h"

#include <shlwapi.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <set>
#include <string_view>
#include <vector>

namespace {

constexpr std::wstring_view kVersionKeyword = L"Uninstall Log File v";
constexpr std::wstring_view kInstallKeyword = L"Install";
constexpr std::wstring_view kInstallPathKeyword = L"Install Path : ";
constexpr std::wstring_view kShortcutPathKeyword = L"Shortcut Path : ";
constexpr wchar_t kRegistrationText[] = L"HKEY_CLASSES_ROOT\\...";

// The longest line the reader takes, line end included: 1,022 bytes of the file.
constexpr std::size_t kLongestLineBytes = 1022;
constexpr long long kLargestNumber = 0x7FFFFFFF;

// "0005:0101:1 -- C:\Program Files\...\r\n"
std::wstring RecordLine(std::size_t number, const ActionRecord& record)
{
    const std::uint32_t code = ActionKindNumber(record.kind) * 256u + (static_cast<std::uint32_t>(record.detail) & 0xFFu);
    return kv::format(L"%04u:%04x:%d -- ", static_cast<unsigned>(number), code, record.done ? 1 : 0) + record.text + L"\r\n";
}

// Writes every piece with one WriteFile call; remembers whether any of them failed.
class LogFileWriter {
public:
    explicit LogFileWriter(HANDLE file) : file_(file) {}

    void Put(const void* data, std::size_t size)
    {
        DWORD written = 0;
        if (!::WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) || written != size)
            ok_ = false;
    }
    void Put(const std::wstring& text) { Put(text.data(), text.size() * sizeof(wchar_t)); }
    void PutHeaderLine(const std::wstring& content) { Put(L"// " + content + L"\r\n"); }

    bool ok() const { return ok_; }

private:
    HANDLE file_;
    bool ok_ = true;
};

bool IsBlank(wchar_t c)
{
    return std::iswspace(c) != 0;
}

std::wstring_view TrimLeft(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::wstring_view TrimRight(std::wstring_view text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::wstring_view Trim(std::wstring_view text)
{
    return TrimRight(TrimLeft(text));
}

// Splits the file into lines: UTF-16LE after a byte-order mark FF FE, else 8-bit text in the
// ANSI code page. A line ends after its line feed, which it keeps; the last one may lack it.
class LogLineReader {
public:
    enum Result { Line, End, Damaged };

    explicit LogLineReader(HANDLE file) : file_(file), buffer_(65536)
    {
        Available(2);
        unicode_ = end_ >= 2 && buffer_[0] == 0xFF && buffer_[1] == 0xFE;
        if (unicode_)
            position_ = 2;
    }

    // The next line, in UTF-16. A line longer than the reader takes, or one that cannot be
    // converted, ends the reading like a damaged line.
    Result Next(std::wstring& line)
    {
        line.clear();
        const std::size_t unit = unicode_ ? 2 : 1;
        std::string bytes;
        // An odd byte left over at the end of a UTF-16 file is no character and is dropped.
        while (Available(unit)) {
            const std::uint8_t* first = &buffer_[position_];
            position_ += unit;
            if (bytes.size() + unit > kLongestLineBytes)
                return Damaged;
            bytes.append(reinterpret_cast<const char*>(first), unit);
            if (first[0] == '\n' && (unit == 1 || first[1] == 0))
                break;
        }
        if (bytes.empty())
            return End;
        if (unicode_) {
            line.resize(bytes.size() / 2);
            std::memcpy(line.data(), bytes.data(), line.size() * sizeof(wchar_t));
            return Line;
        }
        const int size = static_cast<int>(bytes.size());
        const int length = ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.data(), size, nullptr, 0);
        if (length <= 0)
            return Damaged;
        line.resize(static_cast<std::size_t>(length));
        ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes.data(), size, line.data(), length);
        return Line;
    }

private:
    // Whether count more bytes can be had, reading on when the buffer holds fewer.
    bool Available(std::size_t count)
    {
        while (end_ - position_ < count) {
            const std::size_t left = end_ - position_;
            std::memmove(buffer_.data(), buffer_.data() + position_, left);
            position_ = 0;
            end_ = left;
            DWORD read = 0;
            if (!::ReadFile(file_, buffer_.data() + end_, static_cast<DWORD>(buffer_.size() - end_), &read, nullptr)
                || read == 0)
                return false;
            end_ += read;
        }
        return true;
    }

    HANDLE file_;
    std::vector<std::uint8_t> buffer_;
    std::size_t position_ = 0;
    std::size_t end_ = 0;
    bool unicode_ = false;
};

// A decimal integer after optional blanks, with an optional sign, as a stream reads one;
// false when there is none or it exceeds limit in size.
bool ReadDecimal(std::wstring_view& text, long long limit, long long& value)
{
    text = TrimLeft(text);
    const bool negative = !text.empty() && text.front() == L'-';
    if (!text.empty() && (text.front() == L'-' || text.front() == L'+'))
        text.remove_prefix(1);
    value = 0;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9'; ++digits) {
        const int digit = text[digits] - L'0';
        if (value > (limit - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    text.remove_prefix(digits);
    if (negative)
        value = -value;
    return digits > 0;
}

// A hexadecimal integer after optional blanks, no larger than limit.
bool ReadHex(std::wstring_view& text, std::uint32_t limit, std::uint32_t& value)
{
    text = TrimLeft(text);
    value = 0;
    std::size_t digits = 0;
    for (; digits < text.size(); ++digits) {
        const wchar_t c = text[digits];
        std::uint32_t digit;
        if (c >= L'0' && c <= L'9')
            digit = c - L'0';
        else if (c >= L'a' && c <= L'f')
            digit = c - L'a' + 10;
        else if (c >= L'A' && c <= L'F')
            digit = c - L'A' + 10;
        else
            break;
        if (value > (limit - digit) / 16)
            return false;
        value = value * 16 + digit;
    }
    text.remove_prefix(digits);
    return digits > 0;
}

// The next non-blank character.
bool ReadCharacter(std::wstring_view& text, wchar_t& c)
{
    text = TrimLeft(text);
    if (text.empty())
        return false;
    c = text.front();
    text.remove_prefix(1);
    return true;
}

// "0005:0101:1 -- text", blanks allowed between the tokens; false for anything else.
bool ParseRecordLine(std::wstring_view line, ActionRecord& record)
{
    long long number;
    wchar_t c;
    std::uint32_t code;
    if (!ReadDecimal(line, kLargestNumber, number) || number < 0 || !ReadCharacter(line, c) || c != L':'
        || !ReadHex(line, ActionKindNumber(ActionKind::DirectXUpdate) * 256 + 255, code)
        || !ReadCharacter(line, c) || c != L':' || !ReadCharacter(line, c) || (c != L'0' && c != L'1'))
        return false;
    record.done = c == L'1';
    record.kind = ActionKindOfNumber(code / 256);
    record.detail = (code & 0xFF) == 0xFF ? -1 : static_cast<int>(code & 0xFF);

    line = TrimLeft(line);
    std::size_t word = 0;
    while (word < line.size() && !IsBlank(line[word]))
        ++word;
    if (line.substr(0, word) != L"--")
        return false;
    line = TrimLeft(line.substr(word));
    if (record.kind != ActionKind::UninstallKey && record.kind != ActionKind::ProductRegistration)
        record.text.assign(line);
    return true;
}

// The text after keyword, trimmed, or nothing when the line lacks the keyword.
std::optional<std::wstring> HeaderValue(std::wstring line, std::wstring_view keyword)
{
    const std::size_t at = line.find(keyword);
    if (at == std::wstring::npos)
        return std::nullopt;
    line.erase(at, keyword.size());
    return std::wstring(Trim(line));
}

} // namespace

void ActionLog::MergePreviousRecords()
{
    // Going from the last previous record to the first, each one survives, at the head of
    // records, unless records already hold one of its kind that matches: for folders and
    // files an equivalent path, for the other kinds any record of the kind.
    EquivalentPathSet folders, files;
    std::set<ActionKind> otherKinds;
    for (const ActionRecord& record : records) {
        if (record.kind == ActionKind::FolderCreated)
            folders.Insert(record.text);
        else if (record.kind == ActionKind::FileInstalled)
            files.Insert(record.text);
        else
            otherKinds.insert(record.kind);
    }
    while (!previousRecords.empty()) {
        const auto last = std::prev(previousRecords.end());
        bool survives;
        if (last->kind == ActionKind::FolderCreated)
            survives = folders.InsertUnlessContained(last->text);
        else if (last->kind == ActionKind::FileInstalled)
            survives = files.InsertUnlessContained(last->text);
        else
            survives = otherKinds.insert(last->kind).second;
        if (survives)
            records.splice(records.begin(), previousRecords, last);
        else
            previousRecords.erase(last);
    }
}

void ActionLog::DiscardBackups()
{
    for (ActionRecord& record : records) {
        if (record.backup.empty())
            continue;
        ::SetFileAttributesW(record.backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(record.backup.c_str());
        record.backup.clear();
    }
}

bool ActionLog::Write(const std::wstring& logPath, const std::wstring& installPath, const std::wstring& shortcutPath)
{
    const std::wstring uninstallKeyText = L"HKEY_LOCAL_MACHINE\\" + std::wstring(kUninstallKeyPath) + L"\\" + ProductRegistryName();
    MergePreviousRecords();
    // An earlier log is copied first, so that an installation cut short before it is final
    // gets it back at the next start.
    if (journal)
        journal->RecordFile(logPath);

    // An earlier log is left read-only.
    ::SetFileAttributesW(logPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool result = false;
    kv::unique_file file(::CreateFileW(logPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
        LogFileWriter writer(file.get());
        const std::uint8_t byteOrderMark[] = {0xFF, 0xFE};
        writer.Put(byteOrderMark, sizeof byteOrderMark);

        std::wstring product = L"Install " + ProductDisplayName(true);
        if (!previousProduct.empty())
            product += L" -- Update (" + previousProduct + L")";
        const std::wstring shortcutLine = std::wstring(kShortcutPathKeyword) + shortcutPath;
        writer.PutHeaderLine(L"Uninstall Log File v1");
        writer.PutHeaderLine(L"############ WARNING: Do not delete or modify this file. ############");
        writer.PutHeaderLine(product);
        writer.PutHeaderLine(std::wstring(kInstallPathKeyword) + installPath);
        writer.PutHeaderLine(shortcutLine);
        writer.PutHeaderLine(std::wstring(shortcutLine.size(), L'-'));

        std::size_t number = 0;
        for (ActionRecord& record : records) {
            if (record.kind == ActionKind::UninstallKey)
                record.text = uninstallKeyText;
            else if (record.kind == ActionKind::ProductRegistration)
                record.text = kRegistrationText;
            writer.Put(RecordLine(number++, record));
        }
        result = writer.ok();
        // On the disk before the journal declares the installation final.
        if (journal)
            ::FlushFileBuffers(file.get());
        file.reset();
        ::SetFileAttributesW(logPath.c_str(),
                             FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }
    // From here on nothing is undone: an installation cut short while its backups are deleted
    // only loses the rest of them at the next start.
    if (journal)
        journal->Final();
    DiscardBackups();
    return result;
}

void ActionLog::Read(const std::optional<std::wstring>& logPath)
{
    previousInstallPath.clear();
    previousShortcutPath.clear();
    if (!logPath)
        return;
    const kv::unique_file file(::CreateFileW(logPath->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;

    LogLineReader reader(file.get());
    long long version = 0;
    std::size_t lineNumber = 0;
    std::wstring text;
    while (reader.Next(text) == LogLineReader::Line) {
        std::wstring_view line = TrimRight(text);
        if (line.size() >= 2 && line[0] == L'/' && line[1] == L'/') {
            while (!line.empty() && line.front() == L'/')
                line.remove_prefix(1);
            const std::wstring header(TrimLeft(line));
            if (lineNumber == 0) {
                if (const std::size_t at = header.find(kVersionKeyword); at != std::wstring::npos) {
                    std::wstring_view rest = std::wstring_view(header).substr(at + kVersionKeyword.size());
                    long long value;
                    if (ReadDecimal(rest, kLargestNumber, value))
                        version = value;
                }
                if (version != 1)
                    return;
            } else if (lineNumber == 2) {
                std::wstring product = header;
                const std::size_t at = product.find(kInstallKeyword);
                if (at == std::wstring::npos)
                    return;
                product.erase(at, kInstallKeyword.size());
                if (const std::size_t dashes = product.find(L"--", at); dashes != std::wstring::npos)
                    product.resize(dashes);
                previousProduct = Trim(product);
            } else if (lineNumber == 3 || lineNumber == 4) {
                const auto folder = HeaderValue(header, lineNumber == 3 ? kInstallPathKeyword : kShortcutPathKeyword);
                if (!folder)
                    return;
                if (::PathIsDirectoryW(folder->c_str()))
                    (lineNumber == 3 ? previousInstallPath : previousShortcutPath) = *folder;
            }
        } else {
            ActionRecord record;
            if (version != 1 || !ParseRecordLine(line, record))
                return;
            previousRecords.push_back(std::move(record));
        }
        ++lineNumber;
    }
}
