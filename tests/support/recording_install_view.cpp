#include "support/recording_install_view.h"

#include "support/strings.h"

namespace testing_support {

std::vector<ReportCall> RecordingInstallView::ReportCalls() const
{
    std::vector<ReportCall> reports;
    for (const ViewCall& call : calls)
        if (call.kind == ViewCall::Report)
            reports.push_back({call.text, call.heading});
    return reports;
}

std::wstring RecordingInstallView::StatusLine() const
{
    for (auto call = calls.rbegin(); call != calls.rend(); ++call)
        if (call->kind == ViewCall::StatusText || call->kind == ViewCall::StatusPath)
            return call->text;
    return {};
}

std::vector<ViewCall> RecordingInstallView::CallsOf(ViewCall::Kind kind) const
{
    std::vector<ViewCall> selected;
    for (const ViewCall& call : calls)
        if (call.kind == kind)
            selected.push_back(call);
    return selected;
}

void PrintTo(const ReportCall& call, std::ostream* out)
{
    *out << (call.heading ? "heading \"" : "\"") << kv::to_utf8(call.text) << "\"";
}

void PrintTo(const ViewCall& call, std::ostream* out)
{
    static const char* const names[] = {"StatusText", "StatusPath", "Report", "Progress", "ProgressShown", "Pump",
                                        "WaitCursorOn", "WaitCursorOff"};
    *out << names[call.kind] << "(\"" << kv::to_utf8(call.text) << "\", " << call.heading << ", " << call.value << ")";
}

} // namespace testing_support
