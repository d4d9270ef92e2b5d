#include "common/report_state.h"

#include "common/output.h"

report_state report;

void print_header_once()
{
    if (report.header_printed || report.current_path == nullptr)
        return;
    out_text("File ");
    out_text(report.current_path);
    out_text(":\n");
    report.header_printed = 1;
}
