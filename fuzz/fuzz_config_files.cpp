// links: qmt_host
// dict: macro.dict
// The macro file and colour file readers on arbitrary files.  The first
// input byte chooses which file the rest becomes; either way the data module
// reads it and compiles, so colour values go through the expression
// evaluator and macro text through the compiler.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "host/config_files.h"
#include "host/data_module.h"
#include "support/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const std::string path = "/tmp/qmt-fuzz-config-" + std::to_string(getpid()) + ".txt";
  // A plain write: the crash-safe save syncs to disk, which would hold the
  // fuzzer to a few dozen inputs a second.
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data) + 1, static_cast<std::streamsize>(size - 1));
  }
  qmt::HeadlessToolWindow tool;
  qmt::TDM dm(tool);
  try {
    if (data[0] & 1) {
      tool.SetColorList(qmt::ReadListFile(path));
    } else {
      dm.LoadMacroFile(path);
    }
  } catch (const qmt::FileError&) {
    return 0;
  }
  dm.CompileMacro();
  return 0;
}
