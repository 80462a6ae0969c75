// The web build's bindings: no ports of the machine, so "none" and
// "virtual" are all there is.
#include "link/port_bindings.h"

namespace qmt {

std::vector<std::string> PortChoiceExamples() { return {"none", "virtual"}; }

std::unique_ptr<DeviceLink> OpenDefaultPort(LinkProblem&) { return NoDevice(); }

std::unique_ptr<DeviceLink> OpenPortBinding(std::string_view, std::string_view, bool, std::string_view,
                                            LinkProblem&) {
  return nullptr;
}

std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t, TGWIOPM_Driver&, LinkProblem& problem) {
  return Refuse(problem, LinkProblem::Kind::kNoPortInstructions, "direct");
}

std::unique_ptr<DeviceLink> OpenDirectLink(std::uint16_t base, TGWIOPM_Driver& driver, std::string& message) {
  LinkProblem problem;
  auto link = OpenDirectLink(base, driver, problem);
  message = problem.Text();
  return link;
}

}  // namespace qmt
