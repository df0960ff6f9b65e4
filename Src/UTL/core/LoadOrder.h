// The order in which the library's static objects are built at load, and
// destroyed in reverse at unload. Each object lives in the layer that owns it;
// init priorities (lower is earlier, run before any object without one) make
// the order hold across translation units, whatever the link order.
#pragma once

namespace UTL {
namespace detail {

constexpr int kBuildFileOutputLock = 1000;
constexpr int kBuildReportWriter = 1001;

// Adds a built object to the load journal that LoadSequence() shows.
void RecordLoadStep(const char* name);

struct LoadStep {
    explicit LoadStep(const char* name) { RecordLoadStep(name); }
};

}  // namespace detail
}  // namespace UTL
