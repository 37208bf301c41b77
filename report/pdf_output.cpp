#include "report/pdf_output.h"

#include <atomic>

namespace mirabo::report {
namespace {

std::atomic<PdfWriter> g_writer{nullptr};

}  // namespace

void SetPdfWriter(PdfWriter writer) { g_writer.store(writer); }

Status SavePagesAsPdf(const PageImageList& pages, const std::string& path,
                      const std::string& title) {
  const PdfWriter writer = g_writer.load();
  if (writer == nullptr) {
    return Status(StatusCode::kPrintFailed, "This program cannot write PDF files here.");
  }
  return writer(pages, path, title);
}

}  // namespace mirabo::report
