// The manual pages' ENVIRONMENT section: QMT_PORT names every port kind the
// programs open.
#include "host/program_manual.h"

#include <gtest/gtest.h>

#include "link/device_link.h"

namespace qmt {
namespace {

TEST(ProgramManual, QmtPortNamesEveryPortKind) {
  for (const char* program : {"qmt", "qmtsim"}) {
    std::string text;
    for (const ManSection& s : ProgramFilesSections(program))
      for (const auto& [term, body] : s.entries)
        if (term == "QMT_PORT") text = body;
    ASSERT_FALSE(text.empty()) << program;
    for (const std::string& choice : PortChoiceExamples()) {
      const std::string kind = choice.substr(0, choice.find(':'));
      EXPECT_NE(text.find(kind), std::string::npos) << program << ": QMT_PORT lacks " << kind << ": " << text;
    }
  }
}

}  // namespace
}  // namespace qmt
