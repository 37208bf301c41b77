#include "app/data/outcome.h"

#include <utility>

namespace mirabo::app {
namespace {

OutcomeObserver& Observer() {
  static OutcomeObserver observer;
  return observer;
}

}  // namespace

OutcomeObserver SetOutcomeObserver(OutcomeObserver observer) {
  return std::exchange(Observer(), std::move(observer));
}

void NotifyOutcome(const Outcome& outcome) {
  if (Observer()) Observer()(outcome);
}

}  // namespace mirabo::app
