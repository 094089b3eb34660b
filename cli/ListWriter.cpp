#include "cli/ListWriter.h"

#include "cli/Interrupt.h"
#include "cli/ListPipeline.h"
#include "cli/ListRules.h"
#include "cli/ProgressLine.h"
#include "cli/SafeFile.h"
#include "cli/SystemIo.h"
#include "cli/XlsxWriter.h"

namespace kestrino::cli {
namespace {

void WritePlan(const ColumnPlan& plan, std::time_t created, ByteOutput& output, ProgressLine& progress) {
    if (plan.format == ListFormat::kXlsx) {
        WriteXlsx(plan, created, output, progress);
    } else {
        WriteRows(plan, output, progress);
    }
}

}  // namespace

void WriteList(const ListRequest& request, ByteOutput& output) {
    const ColumnPlan plan = PlanList(request);
    const std::time_t created = plan.format == ListFormat::kXlsx ? WorkbookCreationTime() : 0;
    if (!request.output) {
        // A progress line among list lines on the same screen would garble both.
        ProgressLine progress(plan.devices, StandardErrorIsTerminal() && !StandardOutputIsTerminal());
        WritePlan(plan, created, output, progress);
        return;
    }
    InterruptGuard guard;
    ProgressLine progress(plan.devices, StandardErrorIsTerminal());
    SafeFile file(*request.output);
    WritePlan(plan, created, file, progress);
    file.Commit();
}

std::string LastBodies(const ListRequest& request) {
    const ColumnPlan plan = PlanRows(request);
    std::string bodies;
    if (plan.devices == 0) return bodies;
    for (std::size_t c = 0; c < plan.starts.size(); ++c) {
        if (c > 0) bodies += ',';
        bodies += BodyText(plan.Body(c, plan.devices - 1));
    }
    return bodies;
}

}  // namespace kestrino::cli
