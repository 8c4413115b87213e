#include "platform/memory_budget.h"

#include <algorithm>

#include "platform/memory_limit.h"

namespace pelmor {

uint64_t MemoryBudget::Cap() const { return cap_ != 0 ? cap_ : ImageAllocationLimit(); }

bool MemoryBudget::Take(uint64_t n) {
  const uint64_t cap = Cap();
  if (used_ > cap || n > cap - used_) return false;
  used_ += n;
  peak_ = std::max(peak_, used_);
  return true;
}

void MemoryBudget::Give(uint64_t n) { used_ -= std::min(n, used_); }

bool BudgetCharge::Add(MemoryBudget& budget, uint64_t n) {
  if (budget_ != nullptr && budget_ != &budget) Release();
  if (!budget.Take(n)) return false;
  budget_ = &budget;
  bytes_ += n;
  return true;
}

void BudgetCharge::Release() {
  if (budget_ != nullptr) budget_->Give(bytes_);
  budget_ = nullptr;
  bytes_ = 0;
}

}  // namespace pelmor
