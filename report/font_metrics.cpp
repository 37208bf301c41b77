#include "report/font_metrics.h"

namespace mirabo::report {
namespace {

FixedPitchMetrics g_fixed_pitch;
FontMetrics* g_installed = nullptr;

}  // namespace

FontMetrics& ReportFontMetrics() { return g_installed ? *g_installed : g_fixed_pitch; }

void SetReportFontMetrics(FontMetrics* metrics) { g_installed = metrics; }

}  // namespace mirabo::report
