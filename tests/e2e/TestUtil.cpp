#include "e2e/TestUtil.h"

namespace plinth_e2e {

::testing::AssertionResult InOrder(const RunResult& run, const Lines& expected) {
  const Lines lines = run.Lines();
  std::size_t at = 0;
  for (const std::string& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    if (at == lines.size()) {
      return ::testing::AssertionFailure() << "missing, or out of order: " << want << "\n"
                                           << run.Dump();
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult NowhereInOutput(const RunResult& run, const std::string& text) {
  if (run.std_err.find(text) != std::string::npos) {
    return ::testing::AssertionFailure() << text << " on standard error:\n" << run.std_err;
  }
  const int at = run.Find(text);
  if (at >= 0) {
    return ::testing::AssertionFailure() << text << " in the log: " << run.log[at].message;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace plinth_e2e
