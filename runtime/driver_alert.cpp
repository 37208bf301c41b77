#include "runtime/driver_alert.h"

#include <cstdio>

namespace mirabo {
namespace {

DriverAlertSink& Sink() {
  static DriverAlertSink sink;
  return sink;
}

}  // namespace

void SetDriverAlertSink(DriverAlertSink sink) { Sink() = std::move(sink); }

void RaiseDriverAlert(const DriverAlert& alert) {
  if (Sink()) {
    Sink()(alert);
    return;
  }
  const std::string& caption = alert.kind == DriverAlert::Kind::kStop ? "Stop" : alert.caption;
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), alert.text.c_str());
}

}  // namespace mirabo
