#include "cli/XlsxWriter.h"

#include "cli/Errors.h"
#include "cli/Interrupt.h"
#include "fileio/SystemText.h"

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kestrino::cli {
namespace {

constexpr std::time_t kFixedCreation = 946684800;     // 2000-01-01 00:00:00 UTC
constexpr std::time_t kLatestCreation = 32535215999;  // 3000-12-31 23:59:59 UTC, the last time Windows' gmtime takes
constexpr std::size_t kCopyBytes = std::size_t{1} << 20;
constexpr std::uint64_t kRowsBetweenChecks = 1 << 16;
// Column widths in characters: the digits and a margin.
constexpr double kImeiWidth = 17;
constexpr double kImeiSvWidth = 18;

[[noreturn]] void Fail(lxw_error error) {
    throw EStreamError(std::string("Cannot make the xlsx workbook: ") + lxw_strerror(error));
}

void Check(lxw_error error) {
    if (error != LXW_NO_ERROR) Fail(error);
}

// The file libxlsxwriter opens by name and writes the workbook into; its
// bytes are then read back. Removed however the run ends.
class StagingFile {
public:
    StagingFile();
    ~StagingFile();
    StagingFile(const StagingFile&) = delete;
    StagingFile& operator=(const StagingFile&) = delete;

    const std::string& Name() const { return name_; }
    // Once the workbook is closed: its bytes, from the start, to output.
    void CopyTo(ByteOutput& output);

private:
    std::string name_;
#ifdef _WIN32
    std::wstring path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
};

#ifdef _WIN32

std::string LastErrorText() { return fileio::SystemErrorText(GetLastError()); }

// libxlsxwriter opens its output without sharing it, so the file cannot be
// opened to be deleted on close before the workbook is complete.
StagingFile::StagingFile() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) throw EFCreateError("%TEMP%", LastErrorText());
    for (unsigned attempt = 0;; ++attempt) {
        wchar_t name[32];
        const unsigned value = GetCurrentProcessId() * 2654435761u + GetTickCount() + attempt * 7919u;
        std::swprintf(name, std::size(name), L"~kx%08x.tmp", value);
        path_ = std::wstring(folder) + name;
        const HANDLE created = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            CloseHandle(created);
            break;
        }
        if (GetLastError() != ERROR_FILE_EXISTS || attempt == 100) {
            const std::string reason = LastErrorText();
            path_.clear();
            throw EFCreateError(Utf8FromWide(std::wstring(folder) + name), reason);
        }
    }
    name_ = Utf8FromWide(path_);
}

StagingFile::~StagingFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!path_.empty()) DeleteFileW(path_.c_str());
}

void StagingFile::CopyTo(ByteOutput& output) {
    // From here on the system removes the file when the handle closes, even if the program ends before.
    handle_ = CreateFileW(path_.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw EReadError(name_, LastErrorText());
    const std::unique_ptr<char[]> buffer(new char[kCopyBytes]);
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(handle_, buffer.get(), static_cast<DWORD>(kCopyBytes), &n, nullptr)) throw EReadError(name_, LastErrorText());
        if (n == 0) return;
        output.Write(std::string_view(buffer.get(), n));
    }
}

#else

// An unnamed file: nothing is left behind, whatever ends the program.
StagingFile::StagingFile() {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
#ifdef O_TMPFILE
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0) {
        std::string pattern = folder + "/.kestrino-XXXXXX";
        fd_ = ::mkstemp(pattern.data());
        if (fd_ < 0) throw EFCreateError(pattern, ErrnoText(errno));
        ::unlink(pattern.c_str());
    }
    name_ = "/proc/self/fd/" + std::to_string(fd_);
}

StagingFile::~StagingFile() { ::close(fd_); }

void StagingFile::CopyTo(ByteOutput& output) {
    const std::unique_ptr<char[]> buffer(new char[kCopyBytes]);
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd_, buffer.get(), kCopyBytes, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EReadError(name_, ErrnoText(errno));
        if (n == 0) return;
        output.Write(std::string_view(buffer.get(), static_cast<std::size_t>(n)));
        at += n;
    }
}

#endif

struct WorkbookFree {
    void operator()(lxw_workbook* workbook) const { lxw_workbook_free(workbook); }
};

}  // namespace

std::time_t WorkbookCreationTime() {
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    if (!epoch || !*epoch) return kFixedCreation;
    std::time_t seconds = 0;
    for (const char* c = epoch; *c; ++c) {
        if (*c < '0' || *c > '9' || seconds > kLatestCreation) {
            seconds = 0;
            break;
        }
        seconds = seconds * 10 + (*c - '0');
    }
    // 0 would be taken for "now" by libxlsxwriter.
    if (seconds < 1 || seconds > kLatestCreation) {
        throw EListRequest("'" + std::string(epoch) +
                           "' is not a valid SOURCE_DATE_EPOCH: it must be seconds since 1970, 1 to 32535215999");
    }
    return seconds;
}

void WriteXlsx(const ColumnPlan& plan, std::time_t created, ByteOutput& output, ProgressLine& progress) {
    StagingFile staging;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    std::unique_ptr<lxw_workbook, WorkbookFree> workbook(workbook_new_opt(staging.Name().c_str(), &options));
    if (!workbook) Fail(LXW_ERROR_CREATING_XLSX_FILE);
    lxw_doc_properties properties{};
    properties.created = created;
    Check(workbook_set_properties(workbook.get(), &properties));

    lxw_worksheet* const sheet = workbook_add_worksheet(workbook.get(), "IMEI");
    lxw_format* const bold = workbook_add_format(workbook.get());
    lxw_format* const text = workbook_add_format(workbook.get());
    if (!sheet || !bold || !text) Fail(LXW_ERROR_MEMORY_MALLOC_FAILED);
    format_set_bold(bold);
    // A cell typed into later stays text too.
    format_set_num_format(text, "@");

    const auto imeiColumns = static_cast<lxw_col_t>(plan.starts.size());
    const auto lastImeiColumn = static_cast<lxw_col_t>(imeiColumns - 1);
    Check(worksheet_set_column(sheet, 0, lastImeiColumn, kImeiWidth, text));
    if (plan.svn) {
        Check(worksheet_set_column(sheet, imeiColumns, static_cast<lxw_col_t>(imeiColumns + lastImeiColumn), kImeiSvWidth, text));
    }
    worksheet_freeze_panes(sheet, 1, 0);
    const std::vector<std::string> names = plan.HeaderNames();
    for (std::size_t c = 0; c < names.size(); ++c) {
        Check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), names[c].c_str(), bold));
    }

    std::vector<ImeiCounter> imeis;
    for (const std::uint64_t start : plan.starts) imeis.emplace_back(start);
    const auto step = static_cast<std::uint32_t>(plan.stride);
    char cell[17] = {};
    for (std::uint64_t device = 0; device < plan.devices; ++device) {
        const auto row = static_cast<lxw_row_t>(device + 1);
        for (lxw_col_t c = 0; c < imeiColumns; ++c) {
            std::memcpy(cell, imeis[c].Digits(), 15);
            cell[15] = '\0';
            Check(worksheet_write_string(sheet, row, c, cell, text));
        }
        if (plan.svn) {
            for (lxw_col_t c = 0; c < imeiColumns; ++c) {
                std::memcpy(cell, imeis[c].Digits(), 14);
                std::memcpy(cell + 14, plan.svn->data(), 2);
                cell[16] = '\0';
                Check(worksheet_write_string(sheet, row, static_cast<lxw_col_t>(imeiColumns + c), cell, text));
            }
        }
        for (ImeiCounter& imei : imeis) imei.Advance(step);
        if ((device + 1) % kRowsBetweenChecks == 0) {
            ThrowIfInterrupted();
            progress.Update(device + 1, device + 1);
        }
    }

    // workbook_close frees the workbook whatever it returns.
    const lxw_error closed = workbook_close(workbook.release());
    if (closed != LXW_NO_ERROR) Fail(closed);
    ThrowIfInterrupted();
    staging.CopyTo(output);
    progress.Update(plan.devices, plan.devices);
}

}  // namespace kestrino::cli
