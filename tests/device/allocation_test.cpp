// Command lines run without touching the heap.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "device/qmt3308.h"

namespace {
thread_local long allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace qmt {
namespace {

TEST(Allocation, SuccessfulCommandLinesAllocateNothing) {
  TQMT3308 d;
  const char* lines[] = {"DS0", "PS1", "PA100,200", "PR-5,5,1,R", "LA0,0,639,479,1", "LR10,10,1,G",
                         "TA0,0,640,480,1,Y", "TR-10,-10,0", "RA320,240,100,B", "ER", "HH", "CS1F",
                         "CH8", "CLM", "SP24", "CP1,2", "CF", "TF0,1", "BV1,2", "FE", "MS", "RV"};
  for (const char* line : lines) {
    long before = allocations;
    ASSERT_TRUE(d.ExecuteLine(line)) << line;
    EXPECT_EQ(allocations, before) << line;
  }
}

}  // namespace
}  // namespace qmt
