#include "cli/ListPipeline.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kestrino::cli {
namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

}  // namespace

void WriteRows(const ColumnPlan& plan, ByteOutput& output, ProgressLine& progress) {
    std::string header;
    for (const std::string& name : plan.HeaderNames()) header += (header.empty() ? "" : ",") + name;
    header += plan.LineEnd();
    output.Write(header);
    if (plan.devices == 0) return;

    std::vector<ImeiCounter> imeis;
    for (const std::uint64_t start : plan.starts) imeis.emplace_back(start);
    for (ImeiCounter& imei : imeis) imei.SetSpare(',');
    const std::string_view lineEnd = plan.LineEnd();
    const std::string_view svn = plan.svn ? std::string_view(*plan.svn) : std::string_view();
    const auto step = static_cast<std::uint32_t>(plan.stride);

    // Each IMEI is 15 digits and a comma, each IMEISV 16 and a comma; the
    // last comma gives way to the line end. 16-byte copies may reach one byte further.
    const std::size_t rowBytes = imeis.size() * (16 + (svn.empty() ? 0 : 17)) + 2;
    const std::size_t rowsPerBlock = std::max<std::size_t>(1, kBlockBytes / rowBytes);
    const std::unique_ptr<char[]> block(new char[rowsPerBlock * rowBytes + 16]);

    std::uint64_t done = 0;
    while (done < plan.devices) {
        const std::uint64_t rows = std::min<std::uint64_t>(rowsPerBlock, plan.devices - done);
        char* to = block.get();
        for (std::uint64_t r = 0; r < rows; ++r) {
            for (const ImeiCounter& imei : imeis) {
                std::memcpy(to, imei.Digits(), 16);
                to += 16;
            }
            if (!svn.empty()) {
                for (const ImeiCounter& imei : imeis) {
                    std::memcpy(to, imei.Digits(), 14);
                    to[14] = svn[0];
                    to[15] = svn[1];
                    to[16] = ',';
                    to += 17;
                }
            }
            --to;
            std::memcpy(to, lineEnd.data(), 2);
            to += lineEnd.size();
            for (ImeiCounter& imei : imeis) imei.Advance(step);
        }
        output.Write(std::string_view(block.get(), static_cast<std::size_t>(to - block.get())));
        done += rows;
        progress.Update(done, done);
    }
}

}  // namespace kestrino::cli
