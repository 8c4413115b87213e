// The steps of pelmor control that act as the user and the container do rather than through the
// dispatch interface: keys, the wheel, the scroll bars, a new window size, and the bars' state.
#pragma once

#include <string>
#include <vector>

#include "control/headless_control.h"

namespace pelmor::cli {

// The names of these steps, as --help and usage errors list them.
constexpr char kInputStepNames[] = "key, wheel, hscroll, vscroll, resize, scrollinfo";

// When op is one of these steps, takes its arguments from args at i (moving i past them) into
// name (the first) and rest, and returns true; a missing or malformed argument throws
// UsageError. False for any other op.
bool ParseInputStep(const std::string& op, const std::vector<std::string>& args, size_t& i,
                    std::string& name, std::vector<std::string>& rest);

// Runs a step that ParseInputStep accepted; returns the JSON of its value ("null" for all but
// scrollinfo).
std::string RunInputStep(HeadlessControl& hc, const std::string& op, const std::string& name,
                         const std::vector<std::string>& rest);

// {"horizontal": {"min": .., "max": .., "page": .., "pos": .., "visible": ..}, "vertical": {..},
//  "client": [W, H]}
std::string ScrollInfoJson(const platform::WindowModel& window);

}  // namespace pelmor::cli
